// The device rows over a real list view with check boxes.

#include "ui/ListViewRows.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using kavrel::ListViewRows;

namespace {

// A hidden parent with a report-view list view in it; the parent records what the rows object makes of
// each item-changed notification as it arrives.
class ListFixture : public ::testing::Test {
protected:
    struct Change {
        int row;
        kavrel::CheckChange check;
    };

    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &ParentProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KavrelListParent";
        RegisterClassW(&windowClass);
        parent_ = CreateWindowExW(0, L"KavrelListParent", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 580, 280, parent_,
                                reinterpret_cast<HMENU>(1003), GetModuleHandleW(nullptr), nullptr);
        ListView_SetExtendedListViewStyleEx(list_, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        for (int i = 0; i < 7; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH;
            column.cx = 60;
            ListView_InsertColumn(list_, i, &column);
        }
        rows_.Attach(list_);
        current_ = this;
    }
    void TearDown() override {
        current_ = nullptr;
        DestroyWindow(parent_);
    }

    static LRESULT CALLBACK ParentProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NOTIFY && current_ != nullptr) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
            if (change->hdr.code == LVN_ITEMCHANGED)
                current_->changes_.push_back({change->iItem, current_->rows_.CheckChangeOf(*change)});
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }

    static inline ListFixture* current_ = nullptr;
    HWND parent_ = nullptr;
    HWND list_ = nullptr;
    ListViewRows rows_;
    std::vector<Change> changes_;
};

} // namespace

TEST_F(ListFixture, AppendedRowsAreEmptyAndCellsChecksAndItemDataRoundTrip) {
    EXPECT_EQ(rows_.AppendRow(), 0);
    EXPECT_EQ(rows_.AppendRow(), 1);
    EXPECT_EQ(rows_.RowCount(), 2);
    EXPECT_EQ(rows_.CellText(1, 4), L"");
    EXPECT_FALSE(rows_.IsChecked(1));
    EXPECT_EQ(rows_.ItemData(1), 0);

    const std::wstring longName(300, L'x'); // longer than the first read buffer
    rows_.SetCellText(0, 5, longName);
    EXPECT_EQ(rows_.CellText(0, 5), longName);
    rows_.SetChecked(0, true);
    EXPECT_TRUE(rows_.IsChecked(0));
    rows_.SetChecked(0, false);
    EXPECT_FALSE(rows_.IsChecked(0));
    rows_.SetItemData(0, -1);
    EXPECT_EQ(rows_.ItemData(0), -1);
    EXPECT_EQ(rows_.CellText(0, 5), longName) << "item data leaves the text alone";
}

TEST_F(ListFixture, OnlyTheUsersClickOnTheBoxIsATickOrUntick) {
    using kavrel::CheckChange;
    const auto checks = [&] {
        std::vector<CheckChange> seen;
        for (const auto& change : changes_)
            if (change.check != CheckChange::None)
                seen.push_back(change.check);
        changes_.clear();
        return seen;
    };
    // Insertion and the program's own changes, which arrive nested in its calls.
    rows_.AppendRow();
    rows_.SetChecked(0, true);
    rows_.SetChecked(0, false);
    EXPECT_FALSE(changes_.empty());
    EXPECT_TRUE(checks().empty());

    // Changes made on the control itself, as the user's click would: selection is no tick.
    ListView_SetCheckState(list_, 0, TRUE);
    ListView_SetItemState(list_, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetCheckState(list_, 0, FALSE);
    EXPECT_EQ(checks(), (std::vector<CheckChange>{CheckChange::Ticked, CheckChange::Unticked}));
}

// What a batch holds back shows as the list's update region: nothing to paint while rows are added, the
// whole list once the batch ends.
TEST_F(ListFixture, AppendBatchHoldsDrawingOnlyWhileRowsAreAdded) {
    ShowWindow(parent_, SW_SHOWNOACTIVATE); // a hidden window has nothing to paint
    const auto pending = [&] { return GetUpdateRect(list_, nullptr, FALSE) != FALSE; };
    rows_.AppendRow();
    ValidateRect(list_, nullptr);
    {
        ListViewRows::AppendBatch batch(rows_);
        rows_.SetCellText(0, 2, L"198.18.1.1");
        EXPECT_TRUE(pending()) << "a batch of refreshes keeps drawing";
    }
    ValidateRect(list_, nullptr);
    {
        ListViewRows::AppendBatch outer(rows_);
        {
            ListViewRows::AppendBatch inner(rows_);
            rows_.AppendRow();
            rows_.SetCellText(1, 4, L"00-1A-2B-3C-4D-5E");
            EXPECT_FALSE(pending());
        }
        rows_.AppendRow();
        EXPECT_FALSE(pending()) << "the outer batch is still adding rows";
    }
    EXPECT_TRUE(pending()) << "the rows are drawn when the batch ends";
    ASSERT_EQ(rows_.RowCount(), 3);
    EXPECT_EQ(rows_.CellText(1, 4), L"00-1A-2B-3C-4D-5E");

    ValidateRect(list_, nullptr);
    rows_.AppendRow();
    EXPECT_TRUE(pending()) << "outside a batch a row is drawn as it comes";
}
