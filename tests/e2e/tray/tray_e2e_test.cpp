// kavrel.exe's window from the outside: its border resizes it, minimising and a double-click on its icon in
// Wine's system tray hide it there, a double-click and the tray menu's Restore bring it back. The tray class
// itself (menu, default item, re-adding) is proven in tests/win/tray.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

using namespace kavrel::e2e;

namespace {

// The middle of the program's icon in Wine's stand-alone tray window: icons are child windows placed
// left to right as they arrive, and the driver's own came first.
std::optional<POINT> TrayIconPoint() {
    std::optional<RECT> last;
    HWND tray = WaitForWindow(0, L"Wine System Tray", 10s);
    for (HWND icon = GetWindow(tray, GW_CHILD); icon != nullptr; icon = GetWindow(icon, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(icon, &rect);
        if (IsWindowVisible(icon) && (!last || rect.left > last->left))
            last = rect;
    }
    return last ? std::optional(CenterOf(*last)) : std::nullopt;
}

// A point of the window's frame that answers the hit-test code, found by asking the window.
std::optional<POINT> FramePoint(HWND window, LRESULT code) {
    RECT rect{};
    GetWindowRect(window, &rect);
    for (int dy = 0; dy < 40; ++dy)
        for (int dx = 0; dx < 120; ++dx)
            for (POINT p :
                 {POINT{rect.right - 1 - dx, rect.top + dy}, POINT{rect.right - 1 - dx, rect.bottom - 1 - dy}})
                if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == code)
                    return p;
    return std::nullopt;
}

SIZE SizeOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

TEST(Tray, TheBorderResizesAndMinimiseOrDoubleClickHideIntoTheTrayAndBack) {
    MainWindow main;
    const HWND dialog = main.dialog, list = main.Item(kDeviceList);
    ASSERT_NE(dialog, nullptr);
    const auto shown = [&] {
        return WaitUntil(
            [&] { return IsWindowVisible(dialog) && GetForegroundWindow() == dialog && !IsIconic(dialog); });
    };
    const auto inTray = [&] { return WaitUntil([&] { return !IsWindowVisible(dialog); }); };
    ASSERT_TRUE(shown()) << "start-up comes out of the tray shown and active";

    // Only minimising hides: the border resizes, the list with it, down to the template's size at least.
    const SIZE designed = SizeOf(dialog), designedList = SizeOf(list);
    const auto drag = [&](int dx, int dy) {
        const auto corner = FramePoint(dialog, HTBOTTOMRIGHT);
        ASSERT_TRUE(corner.has_value()) << "no sizing corner";
        DragFromTo(*corner, {corner->x + dx, corner->y + dy});
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(IsWindowVisible(dialog)) << "a resize must not send the window to the tray";
    };
    drag(200, 120);
    SaveScreenshot("resize-after");
    const SIZE grown = SizeOf(dialog);
    EXPECT_GT(grown.cy, designed.cy + 60);
    EXPECT_EQ(SizeOf(list).cy - designedList.cy, grown.cy - designed.cy) << "the list grows with the window";
    drag(-400, -300);
    EXPECT_EQ(SizeOf(dialog).cx, designed.cx) << "the template's size is the smallest";
    EXPECT_EQ(SizeOf(dialog).cy, designed.cy);

    // The dialog opens at the top left, over Wine's tray window: move it aside as a user would.
    SetWindowPos(dialog, nullptr, 120, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const auto icon = TrayIconPoint();
    ASSERT_TRUE(icon.has_value()) << "no icon in Wine's system tray";
    // After start-up Minimize is the default, so a double-click hides; then Restore is, so it shows.
    DoubleClickAt(*icon);
    ASSERT_TRUE(inTray()) << "double-click did not run the default command";
    SaveScreenshot("tray-hidden");
    DoubleClickAt(*icon);
    ASSERT_TRUE(shown()) << "double-click did not bring the window back";

    // Minimised by the caption's button, back by Restore, the tray menu's first item, at its normal size.
    const auto minimize = FramePoint(dialog, HTMINBUTTON);
    ASSERT_TRUE(minimize.has_value()) << "no minimise button on the caption";
    ClickAt(*minimize);
    ASSERT_TRUE(inTray()) << "the minimise button did not hide into the tray";
    RightClickAt(*icon);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(menu = FindWindowW(L"#32768", nullptr)); }, 5s)) << "no menu";
    RECT rect{};
    GetWindowRect(menu, &rect);
    ClickAt({(rect.left + rect.right) / 2, rect.top + 10});
    ASSERT_TRUE(shown()) << "Restore did not bring the window back active";

    // Back from the tray the window takes the keyboard again: Enter presses Exit.
    PressKey(VK_RETURN);
    EXPECT_EQ(main.program.WaitForExit(10s), 0u);
}
