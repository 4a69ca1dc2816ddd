// Which editor a column opens.

#include "controls/column_kinds.h"

#include <gtest/gtest.h>

using namespace kavrel;

TEST(ColumnKinds, ComboWinsTheClickReadOnlyTheLabelEditAndTheRestIsText) {
    ColumnKinds kinds;
    kinds.AddReadOnlyColumn(0);
    kinds.AddReadOnlyColumn(2);
    kinds.AddComboColumn(2);
    EXPECT_EQ(kinds.EditorFor(0), CellEditor::None);
    EXPECT_EQ(kinds.EditorFor(1), CellEditor::Text);
    EXPECT_EQ(kinds.EditorFor(2), CellEditor::DropDown);
    EXPECT_TRUE(kinds.IsReadOnly(2));
    EXPECT_FALSE(kinds.IsReadOnly(1));
}
