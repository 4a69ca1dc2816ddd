// kavrel.exe from the outside: the main dialog at start, one copy at a time, the About box. (Every way out
// is proven in tests/e2e/teardown.)

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kAboutTitle = L"Info \u00FCber Tessik";

} // namespace

// What the user meets first, and a second copy that leaves at once while the first runs.
TEST(Startup, MainDialogStartsWithExitFocusedAndOneCopyAtATime) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kMainTitle);
    ASSERT_NE(dialog, nullptr) << "no main window";
    HWND exitButton = GetDlgItem(dialog, IDOK);
    std::vector<int> tabOrder;
    HWND item = exitButton;
    do {
        tabOrder.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
    } while (item != nullptr && item != exitButton && tabOrder.size() < 10);
    EXPECT_EQ(tabOrder, (std::vector<int>{IDOK, kDeviceList, kSearchButton})) << "Start and Stop disabled";
    // Wine's tray window may take the activation for a moment at start; the dialog keeps its focus control
    // and gives it back when it is active again.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s) ||
                (Activate(dialog), WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStartButton)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStopButton)));
    HWND list = GetDlgItem(dialog, kDeviceList);
    const auto extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT), DWORD{LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT});
    EXPECT_EQ(RemoteListView(list).RowCount(), 0) << "no network here, so no device";
    SaveScreenshot("main-dialog");

    Program second;
    EXPECT_EQ(second.WaitForExit(15s), 0u) << "the second copy must end by itself";
    EXPECT_EQ(TopLevelWindows(0, kMainTitle).size(), 1u);
    EXPECT_TRUE(IsWindowVisible(dialog));
    // Enter presses the default button, Exit; once the first has gone, a new copy starts normally.
    Activate(dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
    Program third;
    ASSERT_NE(WaitForWindow(third.Id(), kMainTitle), nullptr);
}

TEST(Startup, AboutBoxFromSystemCommandAndSystemMenu) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kMainTitle);
    ASSERT_NE(dialog, nullptr);

    // Any system command from 0x10 to 0x1F opens it.
    PostMessageW(dialog, WM_SYSCOMMAND, 0x0011, 0);
    HWND about = WaitForWindow(program.Id(), kAboutTitle);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    bool versionLine = false;
    for (HWND child : ChildrenOf(about))
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
