#include "controls/column_kinds.h"

#include <algorithm>

namespace kavrel {

namespace {
bool Contains(const std::vector<int>& columns, int column) {
    return std::find(columns.begin(), columns.end(), column) != columns.end();
}
void AddOnce(std::vector<int>& columns, int column) {
    if (!Contains(columns, column))
        columns.push_back(column);
}
} // namespace

void ColumnKinds::AddComboColumn(int column) {
    AddOnce(combo_, column);
}

void ColumnKinds::AddReadOnlyColumn(int column) {
    AddOnce(readOnly_, column);
}

CellEditor ColumnKinds::EditorFor(int column) const {
    if (Contains(combo_, column))
        return CellEditor::DropDown;
    if (Contains(readOnly_, column))
        return CellEditor::None;
    return CellEditor::Text;
}

bool ColumnKinds::IsReadOnly(int column) const {
    return Contains(readOnly_, column);
}

} // namespace kavrel
