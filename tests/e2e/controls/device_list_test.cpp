// The device list of the running kavrel.exe: COM Port by drop-down with the free port names, every other
// column read-only, and the keys of the system's modal loop left to the editor. The editors' own rules
// are proven in tests/win/controls; rows are put in from outside, as no device answers here.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kavrel::e2e;

namespace {

HWND ComboOf(HWND list) {
    for (HWND child : ChildrenOf(list))
        if (ClassOf(child) == L"ComboBox")
            return child;
    return nullptr;
}

std::wstring ComboItem(HWND combo, LRESULT index) {
    wchar_t text[32] = {};
    if (index < 0 || SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) >= 32)
        return L"<none>";
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

// The open list part of a drop-down: a visible top-level "ComboLBox" of the process (the combo box's
// own information cannot be asked from another process).
HWND DroppedListOf(DWORD processId) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"ComboLBox", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"ComboLBox", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

} // namespace

// The free names (COM10 to COM99 under Wine) are proven in tests/e2e/discovery, Enter's pick in the links
// test; here the drop-down's Escape in the system's modal loop and the columns the program makes read-only.
TEST(DeviceList, EscapeInTheDropDownRestoresAndOtherColumnsStayReadOnly) {
    MainWindow app;
    ASSERT_NE(app.dialog, nullptr);
    RemoteListView& rows = *app.list;
    HWND list = app.Item(kDeviceList);
    ASSERT_EQ(rows.AppendRow({L"", L"COM30", L"198.18.1.11", L"4001", L"00-1A-2B-3C-4D-5F", L"Port B", L"Disable"}), 0);
    Activate(app.dialog);

    ClickAt(CenterOf(rows.CellRect(0, kColumnComPort)));
    HWND combo = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (combo = ComboOf(list)) != nullptr; }, 5s)) << "no drop-down";
    EXPECT_EQ(FocusOf(app.dialog), combo);
    EXPECT_EQ(ComboItem(combo, SendMessageW(combo, CB_GETCURSEL, 0, 0)), L"COM30") << "the cell's name preselected";
    PressKey(VK_F4);
    WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s);
    SaveScreenshot("device-list-com-port-dropped");
    // With common controls 6 the list part shows only what the extent for 90 names holds: 11 rows below the
    // cell, give or take the rounding to whole items.
    HWND listPart = DroppedListOf(app.program.Id());
    ASSERT_NE(listPart, nullptr);
    RECT dropped{};
    GetWindowRect(listPart, &dropped);
    const RECT cell = rows.CellRect(0, kColumnComPort);
    EXPECT_LE(dropped.bottom, cell.bottom + 11 * (cell.bottom - cell.top) + 2);
    EXPECT_GE(dropped.bottom, cell.bottom + 9 * (cell.bottom - cell.top));
    PressKey(VK_DOWN);
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    EXPECT_EQ(rows.Cell(0, kColumnComPort), L"COM30");
    EXPECT_TRUE(app.program.Running()) << "Escape in the drop-down must not cancel the dialog";

    // The other columns open nothing, on the focused row too.
    for (int column : {kColumnIpAddress, kColumnMacAddress, kColumnName, kColumnStatus}) {
        ClickAt(CenterOf(rows.CellRect(0, column)));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(ChildrenOf(list).size(), 1u) << "an editor in column " << column;
    }
    Click(app.Item(IDOK));
    EXPECT_EQ(app.program.WaitForExit(10s), 0u);
}

// The list's private messages carry a pointer; one sent from another process must not be read.
TEST(DeviceList, PointerMessagesFromAnotherProcessAreIgnored) {
    MainWindow app;
    ASSERT_NE(app.dialog, nullptr);
    for (UINT message : {0x83FCu, 0x83FDu}) {
        DWORD_PTR result = 1;
        EXPECT_NE(SendMessageTimeoutW(app.dialog, message, kColumnComPort, 0x10, SMTO_ABORTIFHUNG, 5000, &result), 0);
        EXPECT_EQ(result, 0u);
        PostMessageW(app.dialog, message, kColumnComPort, 0x10);
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(IsWindow(app.dialog)) << "kavrel.exe went down";
    Activate(app.dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(app.program.WaitForExit(10s), 0u);
}
