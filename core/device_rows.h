#pragma once
// The device list as the portable rules see it: rows of text cells with a check box and an item value.

#include <cstdint>
#include <string>

namespace kavrel {

// Columns of a device row, left to right.
enum DeviceColumn : int {
    kColumnLink = 0, // the check box; no text
    kColumnComPort = 1,
    kColumnIpAddress = 2,
    kColumnTcpPort = 3,
    kColumnMacAddress = 4,
    kColumnName = 5,
    kColumnStatus = 6,
    kDeviceColumnCount = 7,
};

// What a change of a row's state did to its check box. A change the program made itself is None, so
// only the user's ticks and unticks link and unlink.
enum class CheckChange { None, Ticked, Unticked };

class DeviceRows {
public:
    virtual ~DeviceRows() = default;

    virtual int RowCount() const = 0;
    // Appends a row with empty cells, item data 0 and an unticked box; returns its index.
    // Adding a row is not a user's tick: it must not be taken for one.
    virtual int AppendRow() = 0;
    virtual std::wstring CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const std::wstring& text) = 0;
    virtual bool IsChecked(int row) const = 0;
    // A change made by the program itself, never taken for a user's tick.
    virtual void SetChecked(int row, bool checked) = 0;
    virtual std::int64_t ItemData(int row) const = 0;
    virtual void SetItemData(int row, std::int64_t data) = 0;
};

} // namespace kavrel
