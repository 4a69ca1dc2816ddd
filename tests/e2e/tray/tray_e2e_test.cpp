// kavrel.exe's window resized by its border and hidden into Wine's system tray and back, from the outside;
// the tray class itself (menu, default item, re-adding) is proven in tests/win/tray.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <utility>

using namespace kavrel::e2e;

namespace {

// Icons in Wine's tray window are child windows placed left to right as they come; the driver's came first.
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

std::pair<LONG, LONG> SizeOf(HWND window) {
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
    const auto designed = SizeOf(dialog), designedList = SizeOf(list);
    const auto drag = [&](int dx, int dy) {
        const POINT corner = FramePoint(dialog, HTBOTTOMRIGHT).value();
        DragFromTo(corner, {corner.x + dx, corner.y + dy});
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(IsWindowVisible(dialog)) << "a resize must not send the window to the tray";
    };
    drag(200, 120);
    const LONG grown = SizeOf(dialog).second - designed.second;
    EXPECT_GT(grown, 60);
    EXPECT_EQ(SizeOf(list).second - designedList.second, grown) << "the list grows with the window";
    drag(-400, -300);
    EXPECT_EQ(SizeOf(dialog), designed) << "the template's size is the smallest";

    // The dialog opens at the top left, over Wine's tray window: move it aside as a user would.
    SetWindowPos(dialog, nullptr, 120, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const POINT icon = TrayIconPoint().value();
    // After start-up Minimize is the default, so a double-click hides; then Restore is, so it shows.
    DoubleClickAt(icon);
    ASSERT_TRUE(inTray()) << "double-click did not run the default command";
    SaveScreenshot("tray-hidden");
    DoubleClickAt(icon);
    ASSERT_TRUE(shown()) << "double-click did not bring the window back";

    // Minimised by the caption's button, back by Restore, the tray menu's first item, at its normal size.
    ClickAt(FramePoint(dialog, HTMINBUTTON).value());
    ASSERT_TRUE(inTray()) << "the minimise button did not hide into the tray";
    RightClickAt(icon);
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
