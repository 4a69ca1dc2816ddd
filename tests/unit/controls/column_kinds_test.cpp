// Which editor a column opens, with the device list's configuration and with overlaps.

#include "controls/column_kinds.h"

#include <gtest/gtest.h>

using namespace kavrel;

TEST(ColumnKinds, TheDeviceListOpensOnlyTheDropDownOfColumnOne) {
    ColumnKinds kinds;
    for (int column : {0, 2, 3, 4, 5, 6})
        kinds.AddReadOnlyColumn(column);
    kinds.AddComboColumn(1);
    EXPECT_EQ(kinds.EditorFor(1), CellEditor::DropDown);
    for (int column : {0, 2, 3, 4, 5, 6}) {
        EXPECT_EQ(kinds.EditorFor(column), CellEditor::None) << column;
        EXPECT_TRUE(kinds.IsReadOnly(column)) << column;
    }
    EXPECT_FALSE(kinds.IsReadOnly(1));
    EXPECT_EQ(kinds.EditorFor(7), CellEditor::Text) << "a column named in neither list is edited as text";
}

TEST(ColumnKinds, EachColumnStandsOnceInEachList) {
    ColumnKinds kinds;
    kinds.AddComboColumn(1);
    kinds.AddComboColumn(1);
    kinds.AddReadOnlyColumn(3);
    kinds.AddReadOnlyColumn(3);
    EXPECT_EQ(kinds.ComboColumns(), std::vector<int>{1});
    EXPECT_EQ(kinds.ReadOnlyColumns(), std::vector<int>{3});
}

TEST(ColumnKinds, AColumnInBothListsDropsDownButRefusesLabelEditing) {
    ColumnKinds kinds;
    kinds.AddReadOnlyColumn(2);
    kinds.AddComboColumn(2);
    EXPECT_EQ(kinds.EditorFor(2), CellEditor::DropDown);
    EXPECT_TRUE(kinds.IsReadOnly(2));
}
