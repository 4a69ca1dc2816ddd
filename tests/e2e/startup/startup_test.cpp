// kavrel.exe as the user meets it: the main dialog at start, its About box, one copy at a time. (Every way
// out is proven in tests/e2e/teardown.)

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <thread>

using namespace kavrel::e2e;

TEST(Startup, MainDialogAboutBoxAndOneCopyAtATime) {
    MainWindow first;
    HWND dialog = first.dialog;
    ASSERT_NE(dialog, nullptr) << "no main window";
    HWND exitButton = first.Item(IDOK);
    std::vector<int> tabOrder{IDOK};
    for (HWND item = GetNextDlgTabItem(dialog, exitButton, FALSE); item != exitButton && tabOrder.size() < 10;
         item = GetNextDlgTabItem(dialog, item, FALSE))
        tabOrder.push_back(GetDlgCtrlID(item));
    EXPECT_EQ(tabOrder, (std::vector<int>{IDOK, kDeviceList, kSearchButton})) << "Start and Stop disabled";
    EXPECT_FALSE(IsWindowEnabled(first.Item(kStartButton)) || IsWindowEnabled(first.Item(kStopButton)));
    // Wine's tray window may take the activation for a moment at start; the dialog keeps its focus control
    // and gives it back when it is active again.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s) ||
                (Activate(dialog), WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s)));
    const auto extended = SendMessageW(first.Item(kDeviceList), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    SaveScreenshot("main-dialog");

    // The system menu's About entry: Alt+Space opens the menu, I is the entry's mnemonic.
    Activate(dialog);
    PressKeys({VK_MENU, VK_SPACE});
    std::this_thread::sleep_for(300ms);
    PressKey('I');
    HWND about = WaitForWindow(first.program.Id(), L"Info \u00FCber Tessik");
    ASSERT_NE(about, nullptr) << "the system menu has no About entry";
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    SaveScreenshot("about-box");
    PressKey(VK_RETURN); // OK is the About box's default button
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    Program second;
    EXPECT_EQ(second.WaitForExit(15s), 0u) << "the second copy must end by itself";
    EXPECT_EQ(TopLevelWindows(0, kMainTitle).size(), 1u);
    // Enter presses the default button, Exit; once the first has gone, a new copy starts normally.
    Activate(dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(first.program.WaitForExit(10s), 0u);
    Program third;
    ASSERT_NE(WaitForWindow(third.Id(), kMainTitle), nullptr);
}
