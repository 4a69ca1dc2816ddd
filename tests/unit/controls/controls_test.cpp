// The combo list's portable rules: cell hit test, placement and drop-down extent, and the edit filters.

#include "controls/cell_geometry.h"
#include "controls/edit_filter.h"

#include <gtest/gtest.h>

#include <array>

using namespace kavrel;

TEST(CellGeometry, ColumnAtGivesABoundaryToTheLeftColumnAndFollowsTheScrolledRow) {
    constexpr std::array<int, 7> kWidths{35, 60, 100, 60, 120, 130, 100}; // the device list's
    const struct {
        int rowLeft, x;
        std::optional<int> column;
    } cases[] = {{0, 0, 0},   {0, 35, 0},    {0, 36, 1},   {0, 605, 6}, {0, 606, std::nullopt},
                 {0, -1, {}}, {-50, -16, 0}, {-50, 45, 1}, {-50, 46, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(ColumnAt(c.rowLeft, kWidths, c.x), c.column) << c.rowLeft << " " << c.x;
    EXPECT_EQ(ColumnAt(0, std::array{20, 0, 30}, 21), 2) << "a zero-width column is only its neighbour's edge";
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
        EXPECT_EQ((std::array{p.scrollBy, p.left, p.right}), c.placed) << c.left << " " << c.width;
    }
}

TEST(CellGeometry, DropDownReachesTenRowsPlusItemsUpToEleven) {
    for (auto [items, rows] : {std::pair<std::size_t, int>{0, 10}, {9, 19}, {10, 11}, {90, 11}})
        EXPECT_EQ(DropDownBottom(20, 37, items), 37 + 17 * rows) << items;
}

TEST(EditFilter, TypingPassesValidCharactersAndTheEditingKeysAndAPasteGoesInWholeOrNotAtAll) {
    for (wchar_t c : {L'0', L'9', wchar_t{8}, wchar_t{3}, wchar_t{22}, wchar_t{24}}) // Backspace, Ctrl+C, V, X
        EXPECT_TRUE(AcceptsTypedChar(L"0123456789", c)) << int(c);
    for (wchar_t c : {L'a', wchar_t{1}}) // Ctrl+A is no exception
        EXPECT_FALSE(AcceptsTypedChar(L"0123456789", c)) << int(c);
    EXPECT_TRUE(AcceptsTypedChar(L"", L'\u20AC')) << "an empty set accepts everything";
    EXPECT_TRUE(AcceptsPastedText(L"0123456789", L"42"));
    EXPECT_FALSE(AcceptsPastedText(L"0123456789", L"42a"));
    EXPECT_FALSE(AcceptsPastedText(L"0123456789", L"\b")) << "the typing exceptions are keys, not text";
    EXPECT_TRUE(AcceptsPastedText(L"", L"COM12 \u00FC")) << "an empty set accepts every paste";
}
