#include "controls/cell_geometry.h"

namespace kavrel {

std::optional<int> ColumnAt(int rowLeft, std::span<const int> widths, int x) {
    int left = rowLeft;
    for (std::size_t column = 0; column < widths.size(); ++column) {
        const int width = widths[column];
        if (left <= x && x <= left + width)
            return static_cast<int>(column);
        left += width;
    }
    return std::nullopt;
}

int ColumnOffset(std::span<const int> widths, int column) {
    int offset = 0;
    for (int i = 0; i < column && static_cast<std::size_t>(i) < widths.size(); ++i)
        offset += widths[static_cast<std::size_t>(i)];
    return offset;
}

CellPlacement PlaceCell(int cellLeft, int width, int clientLeft, int clientRight) {
    int dx = 0;
    if (cellLeft < clientLeft || cellLeft > clientRight)
        dx = cellLeft;
    else if (cellLeft + width > clientRight)
        dx = cellLeft + width - clientRight;
    return {dx, cellLeft - dx, cellLeft - dx + width};
}

int DropDownBottom(int cellTop, int cellBottom, std::size_t itemCount) {
    const int rowHeight = cellBottom - cellTop;
    const int rows = itemCount < 10 ? static_cast<int>(itemCount) + 10 : 11;
    return cellBottom + rowHeight * rows;
}

} // namespace kavrel
