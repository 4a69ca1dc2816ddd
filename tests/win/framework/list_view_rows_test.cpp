// The device rows over a real list view with check boxes, in a dialog that records what the rows object
// makes of each item-changed notification as it arrives.

#include "test_dialog.h"
#include "ui/ListViewRows.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using kavrel::CheckChange;
using kavrel::ListViewRows;

namespace {

class ListRows : public testing::Test {
protected:
    void SetUp() override {
        current_ = this;
        list_ = GetDlgItem(
            CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_DIALOG), nullptr, &Procedure, 0),
            IDC_TEST_LIST);
        ListView_SetExtendedListViewStyleEx(list_, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        LVCOLUMNW column{};
        ListView_InsertColumn(list_, 0, &column);
        rows_.Attach(list_);
    }
    void TearDown() override { DestroyWindow(GetParent(list_)); }
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM lparam) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
        if (message == WM_NOTIFY && change->hdr.code == LVN_ITEMCHANGED)
            current_->changes_.push_back(current_->rows_.CheckChangeOf(*change));
        return FALSE;
    }

    static inline ListRows* current_ = nullptr;
    HWND list_ = nullptr;
    ListViewRows rows_;
    std::vector<CheckChange> changes_;
};

} // namespace

TEST_F(ListRows, RowsKeepTheirTextAndOnlyAChangeOfTheBoxOnTheControlIsATickOrUntick) {
    EXPECT_EQ(rows_.AppendRow(), 0);
    const std::wstring longName(300, L'x'); // longer than the first read buffer
    rows_.SetCellText(0, 0, longName);
    rows_.SetChecked(0, true);
    EXPECT_EQ(rows_.CellText(0, 0), longName);
    EXPECT_TRUE(rows_.IsChecked(0));
    rows_.SetChecked(0, false);
    // Insertion and the program's own changes arrive nested in its calls; then changes made on the control
    // itself, as the user's click makes them, where selection is no tick.
    ASSERT_FALSE(changes_.empty());
    ListView_SetCheckState(list_, 0, TRUE);
    ListView_SetItemState(list_, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetCheckState(list_, 0, FALSE);
    std::erase(changes_, CheckChange::None);
    EXPECT_EQ(changes_, (std::vector<CheckChange>{CheckChange::Ticked, CheckChange::Unticked}));
}

// What a batch holds back shows as the list's update region.
TEST_F(ListRows, AppendBatchDrawsTheAddedRowsOnceTheOutermostBatchEnds) {
    const auto pending = [&] { return GetUpdateRect(list_, nullptr, FALSE) != FALSE; };
    ValidateRect(list_, nullptr);
    {
        ListViewRows::AppendBatch outer(rows_);
        {
            ListViewRows::AppendBatch inner(rows_);
            rows_.AppendRow();
        }
        rows_.AppendRow();
        EXPECT_FALSE(pending()) << "the outer batch is still adding rows";
    }
    EXPECT_TRUE(pending()) << "the rows are drawn when the batch ends";
    EXPECT_EQ(rows_.RowCount(), 2);
    ValidateRect(list_, nullptr);
    rows_.AppendRow();
    EXPECT_TRUE(pending()) << "outside a batch a row is drawn as it comes";
}
