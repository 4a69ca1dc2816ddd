// The tray class with the real shell of the Wine prefix, real windows and real messages.

#include "framework/WindowMessages.h"
#include "tray/CSystemTray.h"
#include "tray/TaskbarMessage.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using kavrel::CSystemTray;
using kavrel::WM_TRAYICON_NOTIFY;
using namespace std::chrono_literals;

namespace {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

HICON AppIcon() {
    return LoadIconW(nullptr, IDI_APPLICATION);
}

// Whether the shell holds an icon of that window and id: changing nothing of it succeeds only then.
bool ShellHasIcon(HWND owner, UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// A posted WM_COMMAND waiting for the window, taken from the queue.
std::optional<WPARAM> TakeCommand(HWND window) {
    MSG message{};
    if (!PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        return std::nullopt;
    return message.wParam;
}

void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void DropCommands(HWND window) {
    while (TakeCommand(window)) {
    }
}

// A plain top-level window that stands for the dialog.
class TestWindow {
public:
    TestWindow() {
        ShowWindow(window_, SW_SHOW);
        PumpMessages();
    }
    ~TestWindow() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_ = CreateWindowExW(WS_EX_APPWINDOW, L"Static", L"Tray test", WS_OVERLAPPEDWINDOW, 200, 150, 400, 300,
                                   nullptr, nullptr, Instance(), nullptr);
};

class Tray : public testing::Test {
protected:
    void SetUp() override { kavrel::RegisterTaskbarCreatedMessage(); }
};

} // namespace

// The icon, its hidden window and the parent a hidden dialog is put under all go with the object.
TEST_F(Tray, AddsTheIconAndHidesTheWindowAndRemovesBothAtDestruction) {
    HWND hidden = nullptr, parent = nullptr;
    {
        CSystemTray tray;
        EXPECT_EQ(tray.HiddenWindow(), nullptr);
        ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
        hidden = tray.HiddenWindow();
        ASSERT_NE(hidden, nullptr);
        EXPECT_FALSE(IsWindowVisible(hidden));
        const NOTIFYICONDATAW& data = tray.IconData();
        EXPECT_EQ(data.cbSize, sizeof(NOTIFYICONDATAW)) << "the structure's real size in this build";
        EXPECT_EQ(data.hWnd, hidden);
        EXPECT_STREQ(data.szTip, L"Kavrel");
        EXPECT_TRUE(tray.IconShown());
        EXPECT_TRUE(ShellHasIcon(hidden, IDR_TRAY_MENU));

        TestWindow window;
        CSystemTray::HideToTray(window.Handle());
        EXPECT_FALSE(IsWindowVisible(window.Handle()));
        parent = GetAncestor(window.Handle(), GA_PARENT);
        ASSERT_NE(parent, GetDesktopWindow()) << "a hidden window has no taskbar button";
        CSystemTray::ShowFromTray(window.Handle());
        PumpMessages();
        EXPECT_TRUE(IsWindowVisible(window.Handle()));
        EXPECT_EQ(GetAncestor(window.Handle(), GA_PARENT), GetDesktopWindow());
    }
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(ShellHasIcon(hidden, IDR_TRAY_MENU));
}

TEST_F(Tray, DoubleClickPostsTheDefaultItemToTheCommandWindow) {
    CSystemTray tray;
    ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    HWND hidden = tray.HiddenWindow();
    TestWindow owner;
    DropCommands(hidden);

    // Before the owner chooses, the default is the first item by position: Restore. Without a command
    // window the hidden window gets the command.
    EXPECT_EQ(SendMessageW(hidden, WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(TakeCommand(hidden), WPARAM{ID_TRAY_RESTORE});
    tray.SetCommandWnd(owner.Handle());
    for (UINT item : {ID_TRAY_MINIMIZE, ID_TRAY_RESTORE}) {
        EXPECT_TRUE(tray.SetDefaultMenuItem(item));
        EXPECT_EQ(SendMessageW(hidden, WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_LBUTTONDBLCLK), 1);
        EXPECT_EQ(TakeCommand(owner.Handle()), WPARAM{item});
    }
    // Not our icon, or another mouse message: nothing done.
    EXPECT_EQ(tray.HandleTrayMessage(IDR_TRAY_MENU + 1, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(tray.HandleTrayMessage(IDR_TRAY_MENU, WM_LBUTTONUP), 1);
    EXPECT_EQ(TakeCommand(owner.Handle()), std::nullopt);
    EXPECT_EQ(TakeCommand(hidden), std::nullopt);
}

TEST_F(Tray, RightButtonReleaseShowsTheMenuAtTheCursorWithTheDefaultMarked) {
    CSystemTray tray;
    ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    TestWindow owner;
    tray.SetCommandWnd(owner.Handle());
    ASSERT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_MINIMIZE));
    DropCommands(owner.Handle());
    SetCursorPos(300, 250);

    // The menu runs its own loop on this thread; another thread looks at it and chooses Exit.
    struct Seen {
        UINT defaultItem = static_cast<UINT>(-1);
        std::vector<std::wstring> texts;
        RECT rect{};
        bool found = false;
    } seen;
    std::thread chooser([&seen] {
        HWND menuWindow = nullptr;
        for (int i = 0; i < 200 && menuWindow == nullptr; ++i) {
            std::this_thread::sleep_for(25ms);
            HWND candidate = FindWindowW(L"#32768", nullptr);
            if (candidate != nullptr && IsWindowVisible(candidate))
                menuWindow = candidate;
        }
        if (menuWindow == nullptr)
            return;
        seen.found = true;
        GetWindowRect(menuWindow, &seen.rect);
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        seen.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            seen.texts.push_back(text);
        }
        // Up from no selection lands on the last item, Exit.
        PostMessageW(menuWindow, WM_KEYDOWN, VK_UP, 0);
        PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    });
    const LRESULT result = SendMessageW(tray.HiddenWindow(), WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_RBUTTONUP);
    chooser.join();

    EXPECT_EQ(result, 1);
    ASSERT_TRUE(seen.found) << "no menu appeared";
    EXPECT_EQ(seen.defaultItem, UINT{ID_TRAY_MINIMIZE});
    EXPECT_EQ(seen.texts, (std::vector<std::wstring>{L"Restore", L"Minimize", L"", L"Exit"}));
    EXPECT_NEAR(seen.rect.left, 300, 4);
    EXPECT_NEAR(seen.rect.top, 250, 4);
    EXPECT_EQ(TakeCommand(owner.Handle()), WPARAM{IDOK}) << "Exit is the dialog's OK command";
    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, tray.HiddenWindow(), WM_NULL, WM_NULL, PM_REMOVE)) << "WM_NULL after the menu";
}

TEST_F(Tray, TaskbarCreatedAddsTheIconAgain) {
    CSystemTray tray;
    ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    HWND hidden = tray.HiddenWindow();
    ASSERT_NE(kavrel::TaskbarCreatedMessage(), 0u);

    // The shell loses its icons, as when it restarts, and then announces its new taskbar to everyone.
    NOTIFYICONDATAW gone{};
    gone.cbSize = sizeof(gone);
    gone.hWnd = hidden;
    gone.uID = IDR_TRAY_MENU;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(ShellHasIcon(hidden, IDR_TRAY_MENU));
    SendMessageTimeoutW(HWND_BROADCAST, kavrel::TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    PumpMessages();
    EXPECT_TRUE(ShellHasIcon(hidden, IDR_TRAY_MENU));
    EXPECT_TRUE(tray.IconShown());
}

TEST_F(Tray, HiddenWindowOfAnOlderTrayNoLongerActs) {
    auto older = std::make_unique<CSystemTray>();
    ASSERT_TRUE(older->AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    {
        CSystemTray newer; // the current tray from now on
        ASSERT_TRUE(newer.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
        EXPECT_EQ(SendMessageW(newer.HiddenWindow(), WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_MOUSEMOVE), 1);
        EXPECT_EQ(SendMessageW(older->HiddenWindow(), WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_MOUSEMOVE), 0);
    }
    // The current tray is gone: its successor's messages must not reach freed memory.
    EXPECT_EQ(SendMessageW(older->HiddenWindow(), WM_TRAYICON_NOTIFY, IDR_TRAY_MENU, WM_MOUSEMOVE), 0);
    older.reset();
}
