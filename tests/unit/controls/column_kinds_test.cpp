// Which editor a column opens, with the device list's configuration and with overlaps.

#include "controls/column_kinds.h"

#include <gtest/gtest.h>

using namespace kavrel;

TEST(ColumnKinds, TheDeviceListOpensOnlyTheDropDownOfColumnOne) {
    ColumnKinds kinds;
    for (int column : {0, 2, 3, 4, 5, 6, 2})
        kinds.AddReadOnlyColumn(column);
    kinds.AddComboColumn(1);
    kinds.AddComboColumn(1);
    EXPECT_EQ(kinds.ComboColumns(), std::vector<int>{1}) << "each column stands once in each list";
    EXPECT_EQ(kinds.ReadOnlyColumns().size(), 6u);
    EXPECT_EQ(kinds.EditorFor(1), CellEditor::DropDown);
    EXPECT_FALSE(kinds.IsReadOnly(1));
    for (int column : {0, 2, 3, 4, 5, 6})
        EXPECT_EQ(kinds.EditorFor(column), CellEditor::None) << column;
    EXPECT_EQ(kinds.EditorFor(7), CellEditor::Text) << "a column named in neither list is edited as text";
    // A column in both lists drops down but refuses label editing.
    kinds.AddComboColumn(2);
    EXPECT_EQ(kinds.EditorFor(2), CellEditor::DropDown);
    EXPECT_TRUE(kinds.IsReadOnly(2));
}
