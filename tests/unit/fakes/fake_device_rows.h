#pragma once
// The device list in memory. Like the list view, a change of a row's check box is reported at once,
// nested inside the call that made it: a user's Toggle as a tick or untick, the program's own
// SetChecked as CheckChange::None. Writes are counted, so a test can tell "wrote the same value again"
// from "did not write". Out-of-range access is a bug in the rules under test and throws.

#include "core/device_rows.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavrel::test {

class FakeDeviceRows : public DeviceRows {
public:
    struct Row {
        std::array<std::wstring, kDeviceColumnCount> cells;
        bool checked = false;
        std::int64_t itemData = 0;
        int writes = 0;
    };

    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int AppendRow() override {
        rows_.emplace_back();
        return RowCount() - 1;
    }
    std::wstring CellText(int row, int column) const override {
        return At(row).cells.at(static_cast<std::size_t>(column));
    }
    void SetCellText(int row, int column, const std::wstring& text) override {
        At(row).cells.at(static_cast<std::size_t>(column)) = text;
        ++At(row).writes;
    }
    bool IsChecked(int row) const override { return At(row).checked; }
    void SetChecked(int row, bool checked) override { Change(row, checked, CheckChange::None); }
    std::int64_t ItemData(int row) const override { return At(row).itemData; }
    void SetItemData(int row, std::int64_t data) override { At(row).itemData = data; }

    // The user's click on the box: the list changes the box, then reports.
    void Toggle(int row) { Change(row, !IsChecked(row), IsChecked(row) ? CheckChange::Unticked : CheckChange::Ticked); }
    const Row& operator[](int row) const { return At(row); }
    int Writes() const {
        int total = 0;
        for (const Row& r : rows_)
            total += r.writes;
        return total;
    }
    std::function<void(int row, CheckChange change)> onCheckChanged;

private:
    void Change(int row, bool checked, CheckChange change) {
        if (At(row).checked == checked)
            return;
        At(row).checked = checked;
        if (onCheckChanged)
            onCheckChanged(row, change);
    }
    Row& At(int row) { return rows_.at(static_cast<std::size_t>(row)); }
    const Row& At(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

    std::vector<Row> rows_;
};

} // namespace kavrel::test
