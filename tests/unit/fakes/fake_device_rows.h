#pragma once
// The device list in memory. A check box change is reported at once, nested inside the call that made it:
// the user's Toggle as a tick or untick, the program's own SetChecked as CheckChange::None. Writes are
// counted, so a test can tell "wrote the same value again" from "did not write". Out of range throws.

#include "core/device_rows.h"

#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
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
    std::wstring CellText(int row, int column) const override { return At(row).cells.at(Index(column)); }
    void SetCellText(int row, int column, const std::wstring& text) override {
        At(row).cells.at(Index(column)) = text;
        ++At(row).writes;
    }
    bool IsChecked(int row) const override { return At(row).checked; }
    void SetChecked(int row, bool checked) override { Change(row, checked, CheckChange::None); }
    std::int64_t ItemData(int row) const override { return At(row).itemData; }
    void SetItemData(int row, std::int64_t data) override { At(row).itemData = data; }

    void Toggle(int row) { Change(row, !IsChecked(row), IsChecked(row) ? CheckChange::Unticked : CheckChange::Ticked); }
    const Row& operator[](int row) const { return At(row); }
    int Writes() const {
        return std::accumulate(rows_.begin(), rows_.end(), 0, [](int sum, const Row& r) { return sum + r.writes; });
    }
    std::function<void(int row, CheckChange change)> onCheckChanged;

private:
    void Change(int row, bool checked, CheckChange change) {
        if (std::exchange(At(row).checked, checked) != checked && onCheckChanged)
            onCheckChanged(row, change);
    }
    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }
    Row& At(int row) { return rows_.at(Index(row)); }
    const Row& At(int row) const { return rows_.at(Index(row)); }

    std::vector<Row> rows_;
};

} // namespace kavrel::test
