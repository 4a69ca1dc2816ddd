#pragma once
// An in-memory device list for the rules' tests, which also counts the writes so a test can tell
// "wrote the same value again" from "did not write".

#include "ui/device_rows.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::testing {

class FakeDeviceRows : public DeviceRows {
public:
    struct Row {
        std::array<std::wstring, kDeviceColumnCount> cells;
        bool checked = false;
        std::int64_t itemData = 0;
        int writes = 0;
    };

    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    int AppendRow() override {
        m_rows.emplace_back();
        return RowCount() - 1;
    }
    std::wstring CellText(int row, int column) const override { return At(row).cells.at(Column(column)); }
    void SetCellText(int row, int column, const std::wstring& text) override {
        Row& r = At(row);
        r.cells.at(Column(column)) = text;
        ++r.writes;
    }
    bool IsChecked(int row) const override { return At(row).checked; }
    void SetChecked(int row, bool checked) override { At(row).checked = checked; }
    std::int64_t ItemData(int row) const override { return At(row).itemData; }
    void SetItemData(int row, std::int64_t data) override { At(row).itemData = data; }

    const Row& operator[](int row) const { return At(row); }
    int Writes() const {
        int total = 0;
        for (const Row& r : m_rows)
            total += r.writes;
        return total;
    }

private:
    // Out-of-range access is a bug in the rules under test, so it fails loudly.
    Row& At(int row) { return m_rows.at(static_cast<std::size_t>(row)); }
    const Row& At(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    static std::size_t Column(int column) {
        if (column < 0 || column >= kDeviceColumnCount)
            throw std::out_of_range("column");
        return static_cast<std::size_t>(column);
    }

    std::vector<Row> m_rows;
};

// What the ANSI code page would do for Windows-1252's lower half: each byte is its own code point.
inline std::wstring Latin1Decode(std::string_view bytes) {
    std::wstring text;
    for (char c : bytes)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return text;
}

} // namespace kavrel::testing
