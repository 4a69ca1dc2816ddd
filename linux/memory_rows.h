#pragma once
// The device list kept in memory for the discovery rules. It remembers the last row written, so that
// the caller can tell which device a datagram spoke for (and by which protocol).

#include "core/device_rows.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kavrel::service {

class MemoryRows final : public DeviceRows {
public:
    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    int AppendRow() override {
        m_rows.emplace_back();
        return RowCount() - 1;
    }
    std::wstring CellText(int row, int column) const override { return m_rows.at(Index(row)).cells.at(Index(column)); }
    void SetCellText(int row, int column, const std::wstring& text) override {
        m_rows.at(Index(row)).cells.at(Index(column)) = text;
        m_touched = row;
    }
    bool IsChecked(int row) const override { return m_rows.at(Index(row)).checked; }
    void SetChecked(int row, bool checked) override { m_rows.at(Index(row)).checked = checked; }
    std::int64_t ItemData(int row) const override { return m_rows.at(Index(row)).data; }
    void SetItemData(int row, std::int64_t data) override { m_rows.at(Index(row)).data = data; }

    // The row written since the last call, if any.
    std::optional<int> TakeTouched() { return std::exchange(m_touched, std::nullopt); }

private:
    struct Row {
        std::array<std::wstring, kDeviceColumnCount> cells;
        bool checked = false;
        std::int64_t data = 0;
    };
    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }

    std::vector<Row> m_rows;
    std::optional<int> m_touched;
};

} // namespace kavrel::service
