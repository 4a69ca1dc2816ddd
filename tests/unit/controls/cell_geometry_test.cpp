// Cell hit test, horizontal placement and drop-down extent of the combo list.

#include "controls/cell_geometry.h"

#include <gtest/gtest.h>

#include <array>

using namespace kavrel;

namespace {
// The device list's columns.
constexpr std::array<int, 7> kWidths{35, 60, 100, 60, 120, 130, 100};
} // namespace

TEST(ColumnAt, EdgesAreInclusiveAndTheLeftColumnWinsABoundary) {
    EXPECT_EQ(ColumnAt(0, kWidths, 0), 0);
    EXPECT_EQ(ColumnAt(0, kWidths, 35), 0) << "the boundary of 0 and 1 belongs to 0";
    EXPECT_EQ(ColumnAt(0, kWidths, 36), 1);
    EXPECT_EQ(ColumnAt(0, kWidths, 95), 1) << "the boundary of 1 and 2 belongs to 1";
    EXPECT_EQ(ColumnAt(0, kWidths, 96), 2);
    EXPECT_EQ(ColumnAt(0, kWidths, 605), 6) << "the right edge of the last column";
    EXPECT_EQ(ColumnAt(0, kWidths, 606), std::nullopt);
    EXPECT_EQ(ColumnAt(0, kWidths, -1), std::nullopt);
}

TEST(ColumnAt, FollowsTheScrolledRowAndIndexOrder) {
    // A row scrolled 50 pixels left starts at -50: column 1 spans -15..45.
    EXPECT_EQ(ColumnAt(-50, kWidths, -16), 0);
    EXPECT_EQ(ColumnAt(-50, kWidths, 45), 1);
    EXPECT_EQ(ColumnAt(-50, kWidths, 46), 2);
    // A zero-width column is only its own left edge, which its left neighbour already claims.
    const std::array<int, 3> hidden{20, 0, 30};
    EXPECT_EQ(ColumnAt(0, hidden, 20), 0);
    EXPECT_EQ(ColumnAt(0, hidden, 21), 2);
    EXPECT_EQ(ColumnAt(0, std::span<const int>{}, 0), std::nullopt);
}

TEST(ColumnOffset, SumsTheColumnsToTheLeft) {
    EXPECT_EQ(ColumnOffset(kWidths, 0), 0);
    EXPECT_EQ(ColumnOffset(kWidths, 1), 35);
    EXPECT_EQ(ColumnOffset(kWidths, 6), 505);
    EXPECT_EQ(ColumnOffset(kWidths, 9), 605) << "a column past the end stops at the total";
}

TEST(PlaceCell, ACellOutOfViewIsScrolledToMeetTheNearerEdge) {
    auto placed = [](int left, int width) {
        const CellPlacement p = PlaceCell(left, width, 0, 400);
        return std::array<int, 3>{p.scrollBy, p.left, p.right};
    };
    EXPECT_EQ(placed(35, 60), (std::array<int, 3>{0, 35, 95})) << "a cell in view stays";
    EXPECT_EQ(placed(340, 60)[0], 0) << "ending exactly at the right edge is in view";
    EXPECT_EQ(placed(350, 120), (std::array<int, 3>{70, 280, 400})) << "ending beyond the right edge meets it";
    // Wider than the view: its right edge still meets the client's, so its left part is lost.
    EXPECT_EQ(placed(100, 500), (std::array<int, 3>{200, -100, 400}));
    EXPECT_EQ(placed(-30, 60), (std::array<int, 3>{-30, 0, 60})) << "a left edge out of view comes to the left edge";
    EXPECT_EQ(placed(450, 60)[1], 0);
    EXPECT_EQ(placed(450, 60)[0], 450);
}

TEST(DropDownBottom, ReachesTenRowsPlusItemsUpToElevenFromTenItemsOn) {
    // A cell from 20 to 37: rows of 17 pixels.
    EXPECT_EQ(DropDownBottom(20, 37, 0), 37 + 17 * 10);
    EXPECT_EQ(DropDownBottom(20, 37, 1), 37 + 17 * 11);
    EXPECT_EQ(DropDownBottom(20, 37, 9), 37 + 17 * 19);
    EXPECT_EQ(DropDownBottom(20, 37, 10), 37 + 17 * 11);
    EXPECT_EQ(DropDownBottom(20, 37, 25), 37 + 17 * 11);
    EXPECT_EQ(DropDownBottom(20, 37, 90), 37 + 17 * 11);
}

TEST(DropDownFits, TenPixelsIsTheNarrowest) {
    EXPECT_FALSE(DropDownFits(0));
    EXPECT_FALSE(DropDownFits(9));
    EXPECT_TRUE(DropDownFits(10));
    EXPECT_TRUE(DropDownFits(60));
}
