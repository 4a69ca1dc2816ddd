#pragma once
// The device rows held by a list view control in report view with check boxes.

#include "core/device_rows.h"

#include <windows.h>

#include <commctrl.h>

namespace kavrel {

class ListViewRows : public DeviceRows {
public:
    ListViewRows() = default;
    explicit ListViewRows(HWND listView) noexcept : list_(listView) {}
    void Attach(HWND listView) noexcept { list_ = listView; }
    HWND Handle() const noexcept { return list_; }

    int RowCount() const override;
    int AppendRow() override;
    std::wstring CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::wstring& text) override;
    bool IsChecked(int row) const override;
    void SetChecked(int row, bool checked) override;
    std::int64_t ItemData(int row) const override;
    void SetItemData(int row, std::int64_t data) override;

    // The user's tick or untick that an item-changed notification reports. A change this object makes
    // (the notification arrives nested in its call), an insertion, selection or focus is None.
    CheckChange CheckChangeOf(const NMLISTVIEW& change) const noexcept;

    // Rows appended while one of these lives are drawn once, when it ends: a list view that repaints
    // for every insertion makes a thousand devices take seconds to list.
    class AppendBatch {
    public:
        explicit AppendBatch(ListViewRows& rows) noexcept : rows_(rows) { ++rows_.batching_; }
        ~AppendBatch();
        AppendBatch(const AppendBatch&) = delete;
        AppendBatch& operator=(const AppendBatch&) = delete;

    private:
        ListViewRows& rows_;
    };

private:
    class ChangeScope;

    HWND list_ = nullptr;
    int changing_ = 0;
    int batching_ = 0;
    bool redrawPaused_ = false;
};

} // namespace kavrel
