// Cell hit test, horizontal placement and drop-down extent of the combo list.

#include "controls/cell_geometry.h"

#include <gtest/gtest.h>

#include <array>

using namespace kavrel;

namespace {
constexpr std::array<int, 7> kWidths{35, 60, 100, 60, 120, 130, 100}; // the device list's
} // namespace

TEST(CellGeometry, ColumnAtGivesABoundaryToTheLeftColumnAndFollowsTheScrolledRow) {
    const struct {
        int rowLeft, x;
        std::optional<int> column;
    } cases[] = {{0, 0, 0},   {0, 35, 0},    {0, 36, 1},   {0, 605, 6}, {0, 606, std::nullopt},
                 {0, -1, {}}, {-50, -16, 0}, {-50, 45, 1}, {-50, 46, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(ColumnAt(c.rowLeft, kWidths, c.x), c.column) << c.rowLeft << " " << c.x;
    const std::array<int, 3> hidden{20, 0, 30}; // a zero-width column is only the edge its neighbour claims
    EXPECT_EQ(ColumnAt(0, hidden, 21), 2);
    EXPECT_EQ(ColumnOffset(kWidths, 6), 505);
    EXPECT_EQ(ColumnOffset(kWidths, 9), 605) << "a column past the end stops at the total";
}

TEST(CellGeometry, ACellOutOfViewIsScrolledToMeetTheNearerEdge) {
    const struct {
        int left, width;
        std::array<int, 3> placed; // scroll, left, right
    } cases[] = {{35, 60, {0, 35, 95}},        {340, 60, {0, 340, 400}}, {350, 120, {70, 280, 400}},
                 {100, 500, {200, -100, 400}}, {-30, 60, {-30, 0, 60}},  {450, 60, {450, 0, 60}}};
    for (const auto& c : cases) {
        const CellPlacement p = PlaceCell(c.left, c.width, 0, 400);
        EXPECT_EQ((std::array<int, 3>{p.scrollBy, p.left, p.right}), c.placed) << c.left << " " << c.width;
    }
}

TEST(CellGeometry, DropDownReachesTenRowsPlusItemsUpToElevenAndNeedsTenPixels) {
    for (auto [items, rows] : {std::pair<std::size_t, int>{0, 10}, {9, 19}, {10, 11}, {90, 11}})
        EXPECT_EQ(DropDownBottom(20, 37, items), 37 + 17 * rows) << items;
    EXPECT_FALSE(DropDownFits(9));
    EXPECT_TRUE(DropDownFits(10));
}
