#pragma once
// The device list in memory. Like the list view, every change of a row's state (check box, selection)
// is reported at once, nested inside the call that made it, to whoever listens.

#include "emulation/port_links.h"
#include "ui/device_rows.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavrel::test {

class FakeDeviceRows : public DeviceRows {
public:
    using Listener = std::function<void(int row, std::uint32_t oldState, std::uint32_t newState)>;
    static constexpr std::uint32_t kSelected = 0x0002;

    void Listen(Listener listener) { listener_ = std::move(listener); }

    int RowCount() const override { return static_cast<int>(rows_.size()); }

    // As the list view inserts: no state image first, then the unticked box.
    int AppendRow() override {
        rows_.emplace_back();
        const int row = RowCount() - 1;
        ChangeState(row, kStateUnchecked);
        return row;
    }

    std::wstring CellText(int row, int column) const override { return rows_.at(row).cells.at(column); }
    void SetCellText(int row, int column, const std::wstring& text) override { rows_.at(row).cells.at(column) = text; }
    bool IsChecked(int row) const override { return (rows_.at(row).state & kStateImageMask) == kStateChecked; }
    void SetChecked(int row, bool checked) override {
        ChangeState(row, (rows_.at(row).state & ~kStateImageMask) | (checked ? kStateChecked : kStateUnchecked));
    }
    std::int64_t ItemData(int row) const override { return rows_.at(row).data; }
    void SetItemData(int row, std::int64_t data) override { rows_.at(row).data = data; }

    // A row as discovery leaves it: unticked, Status "Disable".
    int AddDevice(const std::wstring& comPort, const std::wstring& ip, const std::wstring& tcpPort) {
        const int row = AppendRow();
        SetCellText(row, kColumnComPort, comPort);
        SetCellText(row, kColumnIpAddress, ip);
        SetCellText(row, kColumnTcpPort, tcpPort);
        SetCellText(row, kColumnStatus, L"Disable");
        return row;
    }
    // The user's click on the box, or the space bar: the list view changes the box, then reports.
    void Toggle(int row) { SetChecked(row, !IsChecked(row)); }
    void Select(int row) { ChangeState(row, rows_.at(row).state | kSelected); }
    std::wstring Status(int row) const { return CellText(row, kColumnStatus); }

private:
    struct Row {
        std::array<std::wstring, kDeviceColumnCount> cells;
        std::uint32_t state = 0;
        std::int64_t data = 0;
    };

    void ChangeState(int row, std::uint32_t state) {
        const std::uint32_t old = rows_.at(row).state;
        if (old == state) {
            return;
        }
        rows_.at(row).state = state;
        if (listener_) {
            listener_(row, old, state);
        }
    }

    std::vector<Row> rows_;
    Listener listener_;
};

} // namespace kavrel::test
