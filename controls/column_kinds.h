#pragma once
// How each column of a combo list is edited: by drop-down, not at all, or else by text box.

#include <vector>

namespace kavrel {

enum class CellEditor { None, DropDown, Text };

class ColumnKinds {
public:
    // Each adds the column once; a column may stand in both lists.
    void AddComboColumn(int column);
    void AddReadOnlyColumn(int column);

    // A column in both lists opens the drop-down on a click...
    CellEditor EditorFor(int column) const;
    // ...while the list view's own label editing counts it as read-only.
    bool IsReadOnly(int column) const;

private:
    std::vector<int> combo_;
    std::vector<int> readOnly_;
};

} // namespace kavrel
