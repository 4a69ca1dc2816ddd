// The device list of the running kavrel.exe as a combo list: COM Port by drop-down with the free port
// names, every other column read-only, clicks beside the rows ignored. Rows are put in from outside,
// as no device answers here.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
constexpr int kComPort = 1;

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND ComboOf(HWND list) {
    for (HWND child : ChildrenOf(list))
        if (ClassOf(child) == L"ComboBox")
            return child;
    return nullptr;
}

// The open list part of a drop-down: a visible top-level "ComboLBox" of the process (the combo box's
// own information cannot be asked from another process).
HWND DroppedListOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM lparam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lparam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.processId && IsWindowVisible(window) && ClassOf(window) == L"ComboLBox")
                s.found = window;
            return s.found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

POINT Center(const RECT& rect) {
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::wstring ComboItem(HWND combo, LRESULT index) {
    wchar_t text[32] = {};
    if (index < 0 || SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) >= 32)
        return L"<none>";
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

struct Running {
    Program program;
    HWND dialog = nullptr;
    HWND list = nullptr;
    HWND exitButton = nullptr;

    Running() {
        dialog = WaitForWindow(program.Id(), kTitle);
        list = GetDlgItem(dialog, 1003);
        exitButton = GetDlgItem(dialog, IDOK);
    }
};

} // namespace

TEST(DeviceList, ClicksInTheEmptyListChangeNothing) {
    Running app;
    ASSERT_NE(app.dialog, nullptr);
    Activate(app.dialog);
    ASSERT_EQ(FocusOf(app.dialog), app.exitButton);

    RECT list{};
    GetWindowRect(app.list, &list);
    HWND header = reinterpret_cast<HWND>(SendMessageW(app.list, LVM_GETHEADER, 0, 0));
    RECT headerRect{};
    GetWindowRect(header, &headerRect);
    const POINT empty{list.left + 80, headerRect.bottom + 30};
    ClickAt(empty);
    ClickWith(VK_SHIFT, {empty.x + 20, empty.y});
    ClickWith(VK_CONTROL, {empty.x + 40, empty.y + 10});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(FocusOf(app.dialog), app.exitButton) << "a click beside the rows leaves the focus where it was";
    const auto children = ChildrenOf(app.list);
    ASSERT_EQ(children.size(), 1u) << "no editor opened";
    EXPECT_EQ(children[0], header);

    PressKey(VK_RETURN); // still Exit's
    EXPECT_EQ(app.program.WaitForExit(10s), 0u);
}

TEST(DeviceList, ComPortIsPickedFromTheFreePortsAndOtherColumnsStayReadOnly) {
    Running app;
    ASSERT_NE(app.dialog, nullptr);
    RemoteListView rows(app.list);
    ASSERT_EQ(rows.AppendRow({L"", L"COM12", L"198.18.1.10", L"4001", L"00-1A-2B-3C-4D-5E", L"Port A", L"Disable"}), 0);
    ASSERT_EQ(rows.AppendRow({L"", L"COM30", L"198.18.1.11", L"4001", L"00-1A-2B-3C-4D-5F", L"Port B", L"Disable"}), 1);
    Activate(app.dialog);

    const RECT cell = rows.CellRect(0, kComPort);
    ClickAt(Center(cell));
    HWND combo = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (combo = ComboOf(app.list)) != nullptr; }, 5s)) << "no drop-down";
    RECT placed{};
    GetWindowRect(combo, &placed);
    EXPECT_EQ(placed.left, cell.left);
    EXPECT_EQ(placed.top, cell.top);
    EXPECT_EQ(placed.right, cell.right);
    EXPECT_EQ(FocusOf(app.dialog), combo);

    // Wine answers for COM1 to COM9, so the free names are COM10 to COM99, in order.
    const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    ASSERT_EQ(count, 90);
    EXPECT_EQ(ComboItem(combo, 0), L"COM10");
    EXPECT_EQ(ComboItem(combo, 89), L"COM99");
    EXPECT_EQ(ComboItem(combo, SendMessageW(combo, CB_GETCURSEL, 0, 0)), L"COM12") << "the cell's name preselected";

    PressKey(VK_F4);
    WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s);
    SaveScreenshot("device-list-com-port-dropped");
    // The list part ends where the extent for 10 or more items does: 11 rows below the cell, give or
    // take the rounding to whole items.
    HWND listPart = DroppedListOf(app.program.Id());
    ASSERT_NE(listPart, nullptr);
    RECT dropped{};
    GetWindowRect(listPart, &dropped);
    const int rowHeight = cell.bottom - cell.top;
    EXPECT_LE(dropped.bottom, cell.bottom + 11 * rowHeight + 2);
    EXPECT_GE(dropped.bottom, cell.bottom + 9 * rowHeight);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    EXPECT_EQ(rows.Cell(0, kComPort), L"COM13");
    EXPECT_TRUE(app.program.Running()) << "Enter in the drop-down must not press Exit";
    EXPECT_EQ(FocusOf(app.dialog), app.list);

    // Escape puts the name back and leaves the program running.
    ClickAt(Center(rows.CellRect(1, kComPort)));
    ASSERT_TRUE(WaitUntil([&] { return (combo = ComboOf(app.list)) != nullptr; }, 5s));
    PressKey(VK_DOWN);
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    EXPECT_EQ(rows.Cell(1, kComPort), L"COM30");
    EXPECT_TRUE(app.program.Running()) << "Escape in the drop-down must not cancel the dialog";

    // The other columns open nothing, on the focused row too.
    for (int column : {2, 4, 5, 6}) {
        ClickAt(Center(rows.CellRect(1, column)));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(ComboOf(app.list), nullptr) << column;
        EXPECT_EQ(ChildrenOf(app.list).size(), 1u) << column;
    }
    SaveScreenshot("device-list-after-edits");
    Click(app.exitButton);
    EXPECT_EQ(app.program.WaitForExit(10s), 0u);
}

// The list's private messages carry a pointer; one sent from another process must not be read.
TEST(DeviceList, PointerMessagesFromAnotherProcessAreIgnored) {
    Running app;
    ASSERT_NE(app.dialog, nullptr);
    for (UINT message : {0x83FCu, 0x83FDu}) {
        DWORD_PTR result = 1;
        EXPECT_NE(SendMessageTimeoutW(app.dialog, message, kComPort, 0x10, SMTO_ABORTIFHUNG, 5000, &result), 0);
        EXPECT_EQ(result, 0u);
        PostMessageW(app.dialog, message, kComPort, 0x10);
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(IsWindow(app.dialog)) << "kavrel.exe went down";
    PressKey(VK_RETURN);
    EXPECT_EQ(app.program.WaitForExit(10s), 0u);
}
