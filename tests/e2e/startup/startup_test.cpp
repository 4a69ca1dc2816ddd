// kavrel.exe from the outside: the main dialog at start, one copy at a time, the About box, the close box.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <optional>
#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
const std::wstring kAboutTitle = L"Info \u00FCber Tessik";

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A point on the caption's close button, found by asking the window itself.
std::optional<POINT> CloseButton(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    for (int y = rect.top + 2; y < rect.top + 40; y += 2)
        for (int x = rect.right - 2; x > rect.right - 120; x -= 2) {
            const LRESULT hit = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit == HTCLOSE)
                return POINT{x, y};
        }
    return std::nullopt;
}

} // namespace

// What the user meets first: the focus on Exit, Start and Stop disabled until a device is linked, an
// empty device list with check boxes.
TEST(Startup, MainDialogStartsWithExitFocusedAndEmulationDisabled) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr) << "no main window";

    // The tab stops in order, the focus on Exit, Start and Stop disabled.
    HWND exitButton = GetDlgItem(dialog, IDOK);
    std::vector<int> tabOrder;
    HWND item = exitButton;
    do {
        tabOrder.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
    } while (item != nullptr && item != exitButton && tabOrder.size() < 10);
    EXPECT_EQ(tabOrder, (std::vector<int>{1, 1003, 1004})) << "Start and Stop are disabled, so no tab stops";
    // Wine's tray window may take the activation for a moment at start; the dialog keeps its focus control
    // and gives it back when it is active again.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s) ||
                (Activate(dialog), WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1000)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1001)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1004)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));

    // The device list: check boxes, full-row selection and the seven columns.
    HWND list = GetDlgItem(dialog, 1003);
    const auto extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & 0x24u, 0x24u);
    EXPECT_EQ(RemoteListView(list).RowCount(), 0) << "no network here, so no device";

    SaveScreenshot("main-dialog");

    Click(exitButton);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Startup, SecondCopyLeavesAtOnceWithoutAWindow) {
    Program first;
    HWND dialog = WaitForWindow(first.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);

    Program second;
    EXPECT_EQ(second.WaitForExit(15s), 0u) << "the second copy must end by itself";
    EXPECT_EQ(TopLevelWindows(0, kTitle).size(), 1u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindowVisible(dialog));

    // Enter presses the default button, Exit.
    Activate(dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(first.WaitForExit(10s), 0u);

    // Once the first has gone, a new copy starts normally.
    Program third;
    HWND again = WaitForWindow(third.Id(), kTitle);
    ASSERT_NE(again, nullptr);
    Activate(again);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(third.WaitForExit(10s), 0u) << "Escape ends the program";
}

TEST(Startup, AboutBoxFromSystemCommandAndSystemMenu) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);

    // Any system command from 0x10 to 0x1F opens it.
    PostMessageW(dialog, WM_SYSCOMMAND, 0x0011, 0);
    HWND about = WaitForWindow(program.Id(), kAboutTitle);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    bool versionLine = false;
    for (HWND child : Children(about))
        versionLine = versionLine || TextOf(child) == L"Tessik, Version 1.0";
    EXPECT_TRUE(versionLine);
    SaveScreenshot("about-box");
    Click(GetDlgItem(about, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    // The system menu's own entry: Alt+Space opens the menu, I is the entry's mnemonic.
    Activate(dialog);
    PressKeys({VK_MENU, VK_SPACE});
    std::this_thread::sleep_for(300ms);
    PressKey('I');
    about = WaitForWindow(program.Id(), kAboutTitle);
    ASSERT_NE(about, nullptr) << "the system menu has no About entry";
    PressKey(VK_RETURN); // OK is the About box's default button
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    EXPECT_TRUE(program.Running()) << "closing the About box leaves the program running";
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Startup, CloseBoxEndsTheProgram) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);
    const auto close = CloseButton(dialog);
    ASSERT_TRUE(close.has_value()) << "no close button on the caption";
    ClickAt(*close);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
