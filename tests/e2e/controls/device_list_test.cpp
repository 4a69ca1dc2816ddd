// kavrel.exe's device list: its private messages sent from outside, the COM Port drop-down's list part and
// Escape in it, the other columns read-only (the editors' rules: tests/win/controls). No device answers here.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kavrel::e2e;

// The bottom of the open list part of a drop-down, a visible top-level "ComboLBox" of the process (the combo
// box's own information cannot be asked from another process); 0 when none is open.
static LONG DroppedBottom(DWORD processId) {
    HWND window = nullptr;
    DWORD owner = 0;
    RECT rect{};
    while ((window = FindWindowExW(nullptr, window, L"ComboLBox", nullptr)) != nullptr)
        if (GetWindowThreadProcessId(window, &owner) && owner == processId && IsWindowVisible(window))
            return GetWindowRect(window, &rect) ? rect.bottom : 0;
    return 0;
}

TEST(DeviceList, PointerMessagesFromOutsideAreIgnoredAndTheDropDownShowsElevenRowsAndRestoresOnEscape) {
    MainWindow app;
    ASSERT_NE(app.dialog, nullptr);
    // WM_COMBOLIST_GETITEMS and WM_COMBOLIST_VALIDATE carry a pointer: from another process it is not read.
    for (UINT message : {0x83FCu, 0x83FDu}) {
        DWORD_PTR result = 1;
        EXPECT_NE(SendMessageTimeoutW(app.dialog, message, kColumnComPort, 0x10, SMTO_ABORTIFHUNG, 5000, &result), 0);
        EXPECT_EQ(result, 0u);
        PostMessageW(app.dialog, message, kColumnComPort, 0x10);
    }
    RemoteListView& rows = *app.list;
    HWND list = app.Item(kDeviceList);
    ASSERT_EQ(rows.AppendRow({L"", L"COM30", L"198.18.1.11", L"4001", L"00-1A-2B-3C-4D-5F", L"Port B", L"Disable"}), 0);
    Activate(app.dialog);
    ClickAt(CenterOf(rows.CellRect(0, kColumnComPort)));
    HWND combo = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (combo = FindWindowExW(list, nullptr, L"ComboBox", nullptr)) != nullptr; }, 5s));
    PressKey(VK_F4);
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s));
    SaveScreenshot("device-list-com-port-dropped");
    // With common controls 6 the list part shows only what the extent for 90 names holds: 11 rows below the
    // cell, give or take the rounding to whole items.
    const LONG bottom = DroppedBottom(app.program.Id());
    const RECT cell = rows.CellRect(0, kColumnComPort);
    EXPECT_LE(bottom, cell.bottom + 11 * (cell.bottom - cell.top) + 2);
    EXPECT_GE(bottom, cell.bottom + 9 * (cell.bottom - cell.top));
    PressKey(VK_DOWN);
    PressKey(VK_ESCAPE); // the list part closes on the key going down, before the edit sees its character
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    EXPECT_EQ(rows.Cell(0, kColumnComPort), L"COM30");

    for (int column : {kColumnIpAddress, kColumnMacAddress, kColumnName, kColumnStatus}) {
        ClickAt(CenterOf(rows.CellRect(0, column)));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(ChildrenOf(list).size(), 1u) << "an editor in column " << column;
    }
    Click(app.Item(IDOK));
    EXPECT_EQ(app.program.WaitForExit(10s), 0u) << "kavrel.exe went down";
}
