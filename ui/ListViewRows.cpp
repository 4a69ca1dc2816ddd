#include "ui/ListViewRows.h"

#include "framework/ListViewText.h"

#include <commctrl.h>

#include <vector>

namespace kavrel {

class ListViewRows::ChangeScope {
public:
    explicit ChangeScope(int& depth) noexcept : depth_(depth) { ++depth_; }
    ~ChangeScope() { --depth_; }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

private:
    int& depth_;
};

int ListViewRows::RowCount() const {
    return ListView_GetItemCount(list_);
}

ListViewRows::AppendBatch::~AppendBatch() {
    if (--rows_.batching_ > 0 || !rows_.redrawPaused_)
        return;
    rows_.redrawPaused_ = false;
    SendMessageW(rows_.list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(rows_.list_, nullptr, TRUE);
}

int ListViewRows::AppendRow() {
    ChangeScope scope(changing_);
    // Drawing is held back only once a row is really added, so a batch of mere refreshes does not
    // repaint the whole list.
    if (batching_ > 0 && !redrawPaused_) {
        redrawPaused_ = true;
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    }
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(L"");
    item.lParam = 0;
    const int row = ListView_InsertItem(list_, &item);
    if (row >= 0)
        ListView_SetCheckState(list_, row, FALSE);
    return row;
}

std::wstring ListViewRows::CellText(int row, int column) const {
    return win::ListViewItemText(list_, row, column);
}

void ListViewRows::SetCellText(int row, int column, const std::wstring& text) {
    ListView_SetItemText(list_, row, column, const_cast<wchar_t*>(text.c_str()));
}

CheckChange ListViewRows::CheckChangeOf(const NMLISTVIEW& change) const noexcept {
    if (changing_ > 0 || (change.uChanged & LVIF_STATE) == 0)
        return CheckChange::None;
    const UINT before = change.uOldState & LVIS_STATEIMAGEMASK;
    const UINT after = change.uNewState & LVIS_STATEIMAGEMASK;
    // State image 0 is a row that has no box yet (insertion), not an untick.
    if (before == INDEXTOSTATEIMAGEMASK(1) && after == INDEXTOSTATEIMAGEMASK(2))
        return CheckChange::Ticked;
    if (before == INDEXTOSTATEIMAGEMASK(2) && after == INDEXTOSTATEIMAGEMASK(1))
        return CheckChange::Unticked;
    return CheckChange::None;
}

bool ListViewRows::IsChecked(int row) const {
    return ListView_GetCheckState(list_, static_cast<UINT>(row)) != 0;
}

void ListViewRows::SetChecked(int row, bool checked) {
    ChangeScope scope(changing_);
    ListView_SetCheckState(list_, row, checked ? TRUE : FALSE);
}

std::int64_t ListViewRows::ItemData(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(list_, &item))
        return 0;
    return static_cast<std::int64_t>(item.lParam);
}

void ListViewRows::SetItemData(int row, std::int64_t data) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = static_cast<LPARAM>(data);
    ListView_SetItem(list_, &item);
}

} // namespace kavrel
