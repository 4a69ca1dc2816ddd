#pragma once
// The device rows held by a list view control in report view with check boxes.

#include "ui/device_rows.h"

#include <windows.h>

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

    // True while this object itself changes a row, so that the item-changed notifications the list
    // sends meanwhile are not taken for the user's doing.
    bool ChangingRows() const noexcept { return changing_ > 0; }

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
