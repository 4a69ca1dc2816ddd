#pragma once
// Where the in-place editors of the combo list go: which cell a point hits, how far the list scrolls
// to show a cell, and how far a drop-down reaches below its cell.

#include <cstddef>
#include <optional>
#include <span>

namespace kavrel {

// A drop-down column narrower than this never opens its editor.
inline constexpr int kMinDropDownColumnWidth = 10;

// The column under x, given the row's left edge and the column widths in index order. Both edges of a
// column count as inside, so a point on the boundary of two columns belongs to the left one.
std::optional<int> ColumnAt(int rowLeft, std::span<const int> widths, int x);

// The sum of the widths of the columns left of this one, in index order.
int ColumnOffset(std::span<const int> widths, int column);

struct CellPlacement {
    int scrollBy; // horizontal scroll of the list, in pixels (0 when the cell stays where it is)
    int left;     // the cell's edges once scrolled, in client coordinates
    int right;
};

// A cell whose left edge is out of view comes to the client's left edge; one that starts in view but
// ends beyond the right edge is brought left until its right edge meets the client's right edge.
CellPlacement PlaceCell(int cellLeft, int width, int clientLeft, int clientRight);

// The bottom of a drop-down's whole extent for a cell from top to bottom: 10 row heights below the cell
// plus one per item up to 9 items, 11 row heights from 10 items on.
int DropDownBottom(int cellTop, int cellBottom, std::size_t itemCount);

inline bool DropDownFits(int columnWidth) {
    return columnWidth >= kMinDropDownColumnWidth;
}

} // namespace kavrel
