// kavrel.exe's tray icon and window placement from the outside: every way into the Wine system tray and
// back, and resizing. The tray class itself (tip, menu, default item, re-adding) is proven in tests/win/tray.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

using namespace kavrel::e2e;

namespace {

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

// Chooses Restore, the first item, from the icon's menu, as a user does.
void ChooseRestoreFromTrayMenu(DWORD processId, POINT icon) {
    RightClickAt(icon);
    HWND menu = OpenMenuOf(processId);
    ASSERT_NE(menu, nullptr) << "no tray menu after a right-button release";
    SaveScreenshot("tray-menu");
    RECT rect{};
    GetWindowRect(menu, &rect);
    ClickAt({(rect.left + rect.right) / 2, rect.top + 10});
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
    HWND dialog = WaitForWindow(program.Id(), kMainTitle);
    if (dialog != nullptr)
        SetWindowPos(dialog, nullptr, 120, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return dialog;
}

SIZE SizeOf(const RECT& rect) {
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

// Every way into the tray and back.
TEST(Tray, MinimiseHidesIntoTheTrayAndItsMenuAndDoubleClickBringBack) {
    Program program;
    HWND dialog = ShownDialogAside(program);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Shown(dialog)) << "start-up comes out of the tray shown and active";
    const auto icon = TrayIconPoint();
    ASSERT_TRUE(icon.has_value()) << "no Wine system tray window";

    // After start-up Minimize is the default, so a double-click hides; then Restore is, so it shows.
    DoubleClickAt(*icon);
    ASSERT_TRUE(InTray(dialog)) << "double-click did not run the default command";
    SaveScreenshot("tray-hidden");
    EXPECT_TRUE(TopLevelWindows(program.Id(), kMainTitle).empty()) << "no visible top-level window in the tray";
    DoubleClickAt(*icon);
    ASSERT_TRUE(Shown(dialog)) << "double-click did not bring the window back";

    // The caption's minimise button, then Restore on the tray menu.
    const auto minimize = FramePoint(dialog, HTMINBUTTON);
    ASSERT_TRUE(minimize.has_value()) << "no minimise button on the caption";
    ClickAt(*minimize);
    ASSERT_TRUE(InTray(dialog)) << "the minimise button did not hide into the tray";
    ChooseRestoreFromTrayMenu(program.Id(), *icon);
    ASSERT_TRUE(Shown(dialog)) << "Restore did not bring the window back active";
    // The system menu's Minimize; the tray menu's items post their commands as tests/win/tray proves.
    PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(InTray(dialog)) << "the system menu's Minimize did not hide into the tray";
    DoubleClickAt(*icon);
    ASSERT_TRUE(Shown(dialog));

    // Back from the tray the window takes the keyboard again: Enter presses Exit.
    PressKey(VK_RETURN);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

// Only minimising hides into the tray: the border resizes, down to the designed size at least.
TEST(Tray, DraggingTheBorderResizesTheListInsteadOfHiding) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kMainTitle);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Shown(dialog));
    const HWND parts[] = {dialog, GetDlgItem(dialog, kDeviceList), GetDlgItem(dialog, IDOK)};
    auto rects = [&] {
        std::vector<RECT> r(3);
        for (int i = 0; i < 3; ++i)
            GetWindowRect(parts[i], &r[i]);
        return r;
    };
    auto drag = [&](int dx, int dy) {
        const auto corner = FramePoint(dialog, HTBOTTOMRIGHT);
        ASSERT_TRUE(corner.has_value()) << "no sizing corner";
        DragFromTo(*corner, {corner->x + dx, corner->y + dy});
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(IsWindowVisible(dialog)) << "a resize must not send the window to the tray";
    };
    const auto before = rects();
    drag(200, 120);
    const auto grown = rects();
    SaveScreenshot("resize-after");
    const LONG dx = SizeOf(grown[0]).cx - SizeOf(before[0]).cx;
    const LONG dy = SizeOf(grown[0]).cy - SizeOf(before[0]).cy;
    EXPECT_GT(dx, 100);
    EXPECT_GT(dy, 60);
    EXPECT_EQ(SizeOf(grown[1]).cx, SizeOf(before[1]).cx + dx) << "the list grows with the window";
    EXPECT_EQ(SizeOf(grown[1]).cy, SizeOf(before[1]).cy + dy);
    EXPECT_EQ(grown[0].bottom - grown[2].bottom, before[0].bottom - before[2].bottom) << "Exit keeps to the bottom";
    EXPECT_EQ(SizeOf(grown[2]).cx, SizeOf(before[2]).cx);

    drag(-400, -300);
    const auto smallest = rects();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(SizeOf(smallest[i]).cx, SizeOf(before[i]).cx) << "the template's size is the smallest";
        EXPECT_EQ(SizeOf(smallest[i]).cy, SizeOf(before[i]).cy);
    }
    Click(parts[2]);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
