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

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
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
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = Instance();
        windowClass.lpszClassName = L"KavrelTrayTestWindow";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(WS_EX_APPWINDOW, L"KavrelTrayTestWindow", L"Tray test",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME, 200, 150,
                                  400, 300, nullptr, nullptr, Instance(), nullptr);
        ShowWindow(window_, SW_SHOW);
        UpdateWindow(window_);
        PumpMessages();
    }
    ~TestWindow() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

class Tray : public testing::Test {
protected:
    void SetUp() override { kavrel::RegisterTaskbarCreatedMessage(); }
};

void SetMinimizeAnimation(bool on) {
    ANIMATIONINFO animation{};
    animation.cbSize = sizeof(animation);
    animation.iMinAnimate = on ? 1 : 0;
    SystemParametersInfoW(SPI_SETANIMATION, sizeof(animation), &animation, 0);
}

} // namespace

TEST_F(Tray, AddsTheIconWithItsRecordAndRemovesItAtDestruction) {
    HWND hidden = nullptr;
    {
        CSystemTray tray;
        EXPECT_EQ(tray.HiddenWindow(), nullptr);
        ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
        hidden = tray.HiddenWindow();
        ASSERT_NE(hidden, nullptr);
        EXPECT_EQ(ClassOf(hidden), L"TrayIconClass");
        EXPECT_FALSE(IsWindowVisible(hidden));
        EXPECT_EQ(GetClassLongW(hidden, GCL_STYLE), LONG{CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS});

        const NOTIFYICONDATAW& data = tray.IconData();
        EXPECT_EQ(data.cbSize, sizeof(NOTIFYICONDATAW)) << "the structure's real size in this build";
        EXPECT_EQ(data.hWnd, hidden);
        EXPECT_EQ(data.uID, 130u);
        EXPECT_EQ(data.uFlags, 7u);
        EXPECT_EQ(data.uCallbackMessage, 0x8064u);
        EXPECT_EQ(data.hIcon, AppIcon());
        EXPECT_STREQ(data.szTip, L"Kavrel");
        EXPECT_EQ(data.dwState, 0u);
        EXPECT_EQ(data.szInfo[0], L'\0');

        EXPECT_TRUE(tray.IconShown());
        EXPECT_TRUE(ShellHasIcon(hidden, 130));
        EXPECT_FALSE(ShellHasIcon(hidden, 131));
    }
    EXPECT_FALSE(IsWindow(hidden)) << "the hidden window goes with the object";
    EXPECT_FALSE(ShellHasIcon(hidden, 130)) << "the icon goes with the object";
}

TEST_F(Tray, DefaultItemBookkeepingAndDoubleClickPostsIt) {
    CSystemTray tray;
    ASSERT_TRUE(tray.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    HWND hidden = tray.HiddenWindow();
    TestWindow owner;
    DropCommands(hidden);

    // Before the owner chooses, the default is the first item by position: Restore. Without a command
    // window the hidden window gets the command.
    EXPECT_TRUE(tray.DefaultIsPosition());
    EXPECT_EQ(tray.DefaultMenuItem(), 0u);
    EXPECT_EQ(SendMessageW(hidden, WM_TRAYICON_NOTIFY, 130, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(TakeCommand(hidden), WPARAM{ID_TRAY_RESTORE});

    tray.SetCommandWnd(owner.Handle());
    EXPECT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_MINIMIZE));
    EXPECT_FALSE(tray.DefaultIsPosition());
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(TakeCommand(owner.Handle()), WPARAM{ID_TRAY_MINIMIZE});
    EXPECT_EQ(TakeCommand(hidden), std::nullopt);

    EXPECT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_RESTORE));
    EXPECT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_RESTORE)) << "setting the same item again";
    EXPECT_EQ(SendMessageW(hidden, WM_TRAYICON_NOTIFY, 130, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(TakeCommand(owner.Handle()), WPARAM{ID_TRAY_RESTORE});

    // Not our icon: nothing. Other mouse messages: handled, nothing done.
    EXPECT_EQ(tray.HandleTrayMessage(131, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(tray.HandleTrayMessage(131, WM_RBUTTONUP), 0);
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_MOUSEMOVE), 1);
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_LBUTTONUP), 1);
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
    const LRESULT result = SendMessageW(tray.HiddenWindow(), WM_TRAYICON_NOTIFY, 130, WM_RBUTTONUP);
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

TEST_F(Tray, WithoutTheMenuResourceNothingOpensOrIsPosted) {
    // A module that has no tray menu among its resources.
    HINSTANCE other = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(other, nullptr);
    CSystemTray tray;
    ASSERT_TRUE(tray.AddTrayIcon(other, AppIcon(), IDR_TRAY_MENU));
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_RBUTTONUP), 0);
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK), 0) << "the default is a position to look up";
    EXPECT_EQ(TakeCommand(tray.HiddenWindow()), std::nullopt);
    EXPECT_FALSE(tray.SetDefaultMenuItem(ID_TRAY_RESTORE));
    EXPECT_EQ(tray.DefaultMenuItem(), UINT{ID_TRAY_RESTORE}) << "the stored item changes all the same";
    EXPECT_EQ(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK), 1) << "a command id needs no menu";
    EXPECT_EQ(TakeCommand(tray.HiddenWindow()), WPARAM{ID_TRAY_RESTORE});
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
    gone.uID = 130;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(ShellHasIcon(hidden, 130));
    SendMessageTimeoutW(HWND_BROADCAST, kavrel::TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    PumpMessages();
    EXPECT_TRUE(ShellHasIcon(hidden, 130));
    EXPECT_TRUE(tray.IconShown());
}

TEST_F(Tray, HiddenWindowOfAnOlderTrayNoLongerActs) {
    auto older = std::make_unique<CSystemTray>();
    ASSERT_TRUE(older->AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
    {
        CSystemTray newer; // the current tray from now on
        ASSERT_TRUE(newer.AddTrayIcon(Instance(), AppIcon(), IDR_TRAY_MENU));
        EXPECT_EQ(SendMessageW(newer.HiddenWindow(), WM_TRAYICON_NOTIFY, 130, WM_MOUSEMOVE), 1);
        EXPECT_EQ(SendMessageW(older->HiddenWindow(), WM_TRAYICON_NOTIFY, 130, WM_MOUSEMOVE), 0);
    }
    // The current tray is gone: its successor's messages must not reach freed memory.
    EXPECT_EQ(SendMessageW(older->HiddenWindow(), WM_TRAYICON_NOTIFY, 130, WM_MOUSEMOVE), 0);
    older.reset();
}

TEST_F(Tray, HideToTrayAndShowFromTrayWithAndWithoutTheAnimation) {
    for (const bool animation : {true, false}) {
        SCOPED_TRACE(animation ? "animation on" : "animation off");
        SetMinimizeAnimation(animation);
        TestWindow window;
        HWND w = window.Handle();
        RECT before{};
        GetWindowRect(w, &before);

        CSystemTray::HideToTray(w);
        PumpMessages();
        EXPECT_FALSE(IsWindowVisible(w));
        EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE, 0);
        HWND parent = GetAncestor(w, GA_PARENT);
        ASSERT_NE(parent, GetDesktopWindow()) << "a hidden window is no longer top-level";
        EXPECT_EQ(ClassOf(parent), L"Static");
        EXPECT_FALSE(IsWindowVisible(parent));

        CSystemTray::HideToTray(w);
        EXPECT_EQ(GetAncestor(w, GA_PARENT), parent) << "hiding again uses the same hidden parent";

        CSystemTray::ShowFromTray(w);
        PumpMessages();
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_EQ(GetAncestor(w, GA_PARENT), GetDesktopWindow());
        EXPECT_EQ(GetForegroundWindow(), w);
        EXPECT_EQ(GetActiveWindow(), w);
        RECT after{};
        GetWindowRect(w, &after);
        EXPECT_TRUE(EqualRect(&before, &after)) << "the window comes back where it was";
    }
}

TEST_F(Tray, AMinimisedWindowComesBackRestored) {
    TestWindow window;
    HWND w = window.Handle();
    RECT before{};
    GetWindowRect(w, &before);
    ShowWindow(w, SW_MINIMIZE);
    PumpMessages();
    ASSERT_TRUE(IsIconic(w));
    CSystemTray::HideToTray(w);
    PumpMessages();
    EXPECT_FALSE(IsWindowVisible(w));

    CSystemTray::ShowFromTray(w);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_FALSE(IsIconic(w));
    RECT after{};
    GetWindowRect(w, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(GetForegroundWindow(), w);
}
