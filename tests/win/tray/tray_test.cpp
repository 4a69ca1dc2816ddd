// The tray class with the real shell of the Wine prefix, real windows and real messages.

#include "framework/ScopedHandles.h"
#include "framework/WindowMessages.h"
#include "tray/CSystemTray.h"
#include "tray/TaskbarMessage.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using kavrel::CSystemTray;
using namespace std::chrono_literals;

namespace {

// Whether the shell holds the icon of that window and id: a modification succeeds only then.
bool ShellHasIcon(NOTIFYICONDATAW icon) {
    return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

class Tray : public testing::Test {
protected:
    void SetUp() override {
        kavrel::RegisterTaskbarCreatedMessage();
        ASSERT_TRUE(tray_->AddTrayIcon(GetModuleHandleW(nullptr), LoadIconW(nullptr, IDI_APPLICATION), IDR_TRAY_MENU));
    }

    // A plain top-level window that stands for the dialog.
    kavrel::win::ScopedWindow owner_{CreateWindowExW(WS_EX_APPWINDOW, L"Static", L"Tray test",
                                                     WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 400, 300, nullptr,
                                                     nullptr, GetModuleHandleW(nullptr), nullptr)};
    std::unique_ptr<CSystemTray> tray_ = std::make_unique<CSystemTray>();
};

} // namespace

TEST_F(Tray, HidingReparentsUnderAnInvisibleParentThatGoesWithTheTray) {
    const NOTIFYICONDATAW icon = tray_->IconData();
    EXPECT_EQ(icon.cbSize, sizeof(NOTIFYICONDATAW)) << "the structure's real size in this build";
    EXPECT_STREQ(icon.szTip, L"Kavrel");
    {
        CSystemTray newer; // the current tray while it lives, which must leave no pointer to itself behind
        ASSERT_TRUE(newer.AddTrayIcon(GetModuleHandleW(nullptr), LoadIconW(nullptr, IDI_APPLICATION), IDR_TRAY_MENU));
    }
    const HWND window = owner_.Get();
    CSystemTray::HideToTray(window);
    const HWND parent = GetAncestor(window, GA_PARENT);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_NE(parent, GetDesktopWindow()) << "a hidden window has no taskbar button";
    CSystemTray::ShowFromTray(window);
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    tray_.reset();
    EXPECT_FALSE(IsWindow(icon.hWnd));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(ShellHasIcon(icon));
}

TEST_F(Tray, NoIconWithoutAHiddenWindowForItsEvents) {
    const HHOOK refuseWindows = SetWindowsHookExW(
        WH_CBT,
        [](int code, WPARAM w, LPARAM l) { return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, w, l); },
        nullptr, GetCurrentThreadId());
    EXPECT_FALSE(tray_->AddTrayIcon(GetModuleHandleW(nullptr), LoadIconW(nullptr, IDI_APPLICATION), IDR_TRAY_MENU));
    UnhookWindowsHookEx(refuseWindows);
    EXPECT_FALSE(ShellHasIcon(tray_->IconData())) << "an icon without a window";
}

// Double-click and the menu's commands on the real program are proven by tests/e2e/tray.
TEST_F(Tray, RightButtonReleaseShowsTheMenuWithTheDefaultMarkedAndExitPostsOk) {
    tray_->SetCommandWnd(owner_.Get());
    ASSERT_TRUE(tray_->SetDefaultMenuItem(ID_TRAY_MINIMIZE));
    // The menu runs its own loop on this thread; another thread looks at it and chooses Exit.
    UINT defaultItem = 0;
    std::thread chooser([&] {
        HWND menu = nullptr;
        for (int i = 0; i < 200 && !IsWindowVisible(menu); ++i) {
            std::this_thread::sleep_for(25ms);
            menu = FindWindowW(L"#32768", nullptr);
        }
        defaultItem = GetMenuDefaultItem(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)), FALSE, 0);
        // Up from no selection lands on the last item, Exit.
        PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(SendMessageW(tray_->HiddenWindow(), kavrel::WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_RBUTTONUP), 1);
    chooser.join();
    EXPECT_EQ(defaultItem, UINT{ID_TRAY_MINIMIZE});
    MSG command{};
    ASSERT_TRUE(PeekMessageW(&command, owner_.Get(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(command.wParam, WPARAM{IDOK}) << "Exit is the dialog's OK command";
}

TEST_F(Tray, TaskbarCreatedAddsTheIconAgain) {
    // The shell loses its icons, as when it restarts, and then announces its new taskbar to every window.
    NOTIFYICONDATAW icon = tray_->IconData();
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    ASSERT_FALSE(ShellHasIcon(icon));
    SendMessageTimeoutW(HWND_BROADCAST, kavrel::TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    EXPECT_TRUE(ShellHasIcon(icon));
}
