// kavrel.exe's tray icon and window placement from the outside: the icon in the Wine system tray, its
// tip and menu, double-clicks, minimising into the tray, the shell's taskbar re-creation, and resizing.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <optional>
#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
constexpr UINT kIconId = 130;
constexpr int kDefaultCommand = 40002; // only used in messages

// The program's hidden tray window, which owns its icon.
HWND TrayOwner(DWORD processId) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"TrayIconClass", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"TrayIconClass", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            return window;
    }
    return nullptr;
}

// The shell holds the icon exactly when changing nothing of it succeeds.
bool ShellHasIcon(HWND owner) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = kIconId;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// The middle of the program's icon in Wine's stand-alone tray window: icons are child windows placed
// left to right as they arrive, and the driver's own came first.
std::optional<POINT> TrayIconPoint() {
    HWND tray = WaitForWindow(0, L"Wine System Tray", 10s);
    if (tray == nullptr)
        return std::nullopt;
    std::optional<RECT> last;
    for (HWND icon = GetWindow(tray, GW_CHILD); icon != nullptr; icon = GetWindow(icon, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(icon, &rect);
        if (IsWindowVisible(icon) && (!last || rect.left > last->left))
            last = rect;
    }
    if (!last)
        return std::nullopt;
    return POINT{(last->left + last->right) / 2, (last->top + last->bottom) / 2};
}

// Text of another process's window as the window itself answers it.
std::wstring AnsweredText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length);
    return text;
}

HWND VisibleTooltipWithText(const std::wstring& text) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"tooltips_class32", nullptr))
        if (IsWindowVisible(window) && AnsweredText(window) == text)
            return window;
    return nullptr;
}

HWND OpenMenuOf(DWORD processId) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); window != nullptr;
                 window = FindWindowExW(nullptr, window, L"#32768", nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == processId && IsWindowVisible(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        5s);
    return found;
}

// Items of the tray menu: Restore, Minimize, a separator, Exit; the separator is thinner than an item.
POINT MenuItemPoint(HWND menu, int item) {
    RECT rect{};
    GetWindowRect(menu, &rect);
    const int x = (rect.left + rect.right) / 2;
    switch (item) {
    case 0:
        return {x, rect.top + 10};
    case 1:
        return {x, rect.top + 10 + GetSystemMetrics(SM_CYMENUSIZE)};
    default:
        return {x, rect.bottom - 10}; // Exit, the last item
    }
}

void ChooseFromTrayMenu(DWORD processId, POINT icon, int item, const char* screenshot = nullptr) {
    RightClickAt(icon);
    HWND menu = OpenMenuOf(processId);
    ASSERT_NE(menu, nullptr) << "no tray menu after a right-button release";
    if (screenshot != nullptr)
        SaveScreenshot(screenshot);
    ClickAt(MenuItemPoint(menu, item));
}

bool Shown(HWND dialog) {
    return WaitUntil([&] { return IsWindowVisible(dialog) && GetForegroundWindow() == dialog && !IsIconic(dialog); },
                     10s);
}

bool InTray(HWND dialog) {
    return WaitUntil([&] { return !IsWindowVisible(dialog); }, 10s);
}

// A point of the window's frame that answers the hit-test code, found by asking the window.
std::optional<POINT> FramePoint(HWND window, LRESULT code) {
    RECT rect{};
    GetWindowRect(window, &rect);
    for (int dy = 0; dy < 40; ++dy)
        for (int dx = 0; dx < 120; ++dx) {
            POINT candidates[] = {{rect.right - 1 - dx, rect.top + dy}, {rect.right - 1 - dx, rect.bottom - 1 - dy}};
            for (POINT p : candidates)
                if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == code)
                    return p;
        }
    return std::nullopt;
}

// The dialog opens at the top left, over Wine's tray window: move it aside as a user would.
HWND ShownDialogAside(const Program& program) {
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    if (dialog != nullptr)
        SetWindowPos(dialog, nullptr, 120, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return dialog;
}

SIZE SizeOf(const RECT& rect) {
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

TEST(Tray, IconWithTipAndMenuWhoseExitEndsTheProgram) {
    Program program;
    HWND dialog = ShownDialogAside(program);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Shown(dialog)) << "start-up comes out of the tray shown and active";

    HWND owner = TrayOwner(program.Id());
    ASSERT_NE(owner, nullptr) << "no hidden tray window";
    EXPECT_FALSE(IsWindowVisible(owner));
    EXPECT_TRUE(ShellHasIcon(owner));
    const auto icon = TrayIconPoint();
    ASSERT_TRUE(icon.has_value()) << "no Wine system tray window";

    // Pointing at the icon shows its tip.
    MoveCursorTo({icon->x + 1, icon->y});
    MoveCursorTo(*icon);
    EXPECT_TRUE(WaitUntil([] { return VisibleTooltipWithText(L"Kavrel") != nullptr; }, 8s)) << "no tip \"Kavrel\"";
    SaveScreenshot("tray-tip");

    ChooseFromTrayMenu(program.Id(), *icon, 3, "tray-menu");
    EXPECT_EQ(program.WaitForExit(10s), 0u) << "Exit on the tray menu ends the program";
    EXPECT_FALSE(ShellHasIcon(owner)) << "the icon left with the program";
}

TEST(Tray, DoubleClickToggleMinimiseAndRestore) {
    Program program;
    HWND dialog = ShownDialogAside(program);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Shown(dialog));
    const auto icon = TrayIconPoint();
    ASSERT_TRUE(icon.has_value());

    // After start-up Minimize is the default, so a double-click hides; then Restore is, so it shows.
    DoubleClickAt(*icon);
    ASSERT_TRUE(InTray(dialog)) << "double-click did not run the default command " << kDefaultCommand;
    SaveScreenshot("tray-hidden");
    EXPECT_TRUE(TopLevelWindows(program.Id(), kTitle).empty()) << "no visible top-level window while in the tray";
    DoubleClickAt(*icon);
    ASSERT_TRUE(Shown(dialog)) << "double-click did not bring the window back";

    // The caption's minimise button sends it to the tray; Restore on the tray menu brings it back active.
    const auto minimize = FramePoint(dialog, HTMINBUTTON);
    ASSERT_TRUE(minimize.has_value()) << "no minimise button on the caption";
    ClickAt(*minimize);
    ASSERT_TRUE(InTray(dialog)) << "the minimise button did not hide into the tray";
    ChooseFromTrayMenu(program.Id(), *icon, 0, "tray-menu-restore-default");
    ASSERT_TRUE(Shown(dialog)) << "Restore did not bring the window back active";
    SaveScreenshot("tray-restored");

    // The system menu's Minimize, then a double-click (Restore is the default again).
    PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(InTray(dialog)) << "the system menu's Minimize did not hide into the tray";
    DoubleClickAt(*icon);
    ASSERT_TRUE(Shown(dialog));

    // Minimize on the tray menu.
    ChooseFromTrayMenu(program.Id(), *icon, 1);
    ASSERT_TRUE(InTray(dialog)) << "the tray menu's Minimize did not hide into the tray";
    ChooseFromTrayMenu(program.Id(), *icon, 0);
    ASSERT_TRUE(Shown(dialog));

    // Back from the tray the window takes the keyboard again: Enter presses Exit.
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Tray, TaskbarCreatedBringsTheIconBack) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);
    HWND owner = TrayOwner(program.Id());
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ShellHasIcon(owner); }));

    // The shell forgets its icons, as a restarted shell has none, and announces its new taskbar.
    NOTIFYICONDATAW gone{};
    gone.cbSize = sizeof(gone);
    gone.hWnd = owner;
    gone.uID = kIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(ShellHasIcon(owner));
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return ShellHasIcon(owner); }, 10s)) << "the icon was not added again";
    SaveScreenshot("tray-after-taskbar-created");

    Click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Tray, DraggingTheBorderResizesTheListInsteadOfHiding) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Shown(dialog));
    HWND list = GetDlgItem(dialog, 1003);
    HWND exitButton = GetDlgItem(dialog, IDOK);
    HWND logo = GetDlgItem(dialog, 1006);
    RECT window0{}, list0{}, exit0{}, logo0{};
    GetWindowRect(dialog, &window0);
    GetWindowRect(list, &list0);
    GetWindowRect(exitButton, &exit0);
    GetWindowRect(logo, &logo0);
    SaveScreenshot("resize-before");

    const auto corner = FramePoint(dialog, HTBOTTOMRIGHT);
    ASSERT_TRUE(corner.has_value()) << "no sizing corner";
    DragFromTo(*corner, {corner->x + 200, corner->y + 120});
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(IsWindowVisible(dialog)) << "a resize must not send the window to the tray";
    RECT window1{}, list1{}, exit1{}, logo1{};
    GetWindowRect(dialog, &window1);
    GetWindowRect(list, &list1);
    GetWindowRect(exitButton, &exit1);
    GetWindowRect(logo, &logo1);
    SaveScreenshot("resize-after");
    const LONG dx = SizeOf(window1).cx - SizeOf(window0).cx;
    const LONG dy = SizeOf(window1).cy - SizeOf(window0).cy;
    EXPECT_GT(dx, 100);
    EXPECT_GT(dy, 60);
    EXPECT_EQ(SizeOf(list1).cx, SizeOf(list0).cx + dx) << "the list grows with the window";
    EXPECT_EQ(SizeOf(list1).cy, SizeOf(list0).cy + dy);
    EXPECT_EQ(list1.left - window1.left, list0.left - window0.left);
    EXPECT_EQ(window1.bottom - exit1.bottom, window0.bottom - exit0.bottom) << "Exit keeps its place at the bottom";
    EXPECT_EQ(exit1.left - window1.left, exit0.left - window0.left);
    EXPECT_EQ(SizeOf(exit1).cx, SizeOf(exit0).cx);
    EXPECT_EQ(window1.bottom - logo1.bottom, window0.bottom - logo0.bottom);

    // Shrinking goes back, but never below the designed size.
    const auto corner1 = FramePoint(dialog, HTBOTTOMRIGHT);
    ASSERT_TRUE(corner1.has_value());
    DragFromTo(*corner1, {corner1->x - 400, corner1->y - 300});
    std::this_thread::sleep_for(300ms);
    RECT window2{}, list2{};
    GetWindowRect(dialog, &window2);
    GetWindowRect(list, &list2);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(SizeOf(window2).cx, SizeOf(window0).cx) << "the template's size is the smallest";
    EXPECT_EQ(SizeOf(window2).cy, SizeOf(window0).cy);
    EXPECT_EQ(SizeOf(list2).cx, SizeOf(list0).cx);
    EXPECT_EQ(SizeOf(list2).cy, SizeOf(list0).cy);
    SaveScreenshot("resize-smallest");

    Click(exitButton);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
