#include "tray/tray_rect.h"

namespace kavrel {

namespace {

// Shell_TrayWnd, narrowed to the icons' own window and then to the side of it the clock leaves free.
ScreenRect FromTaskbarWindows(TrayWindows& windows, ScreenRect rect) {
    windows.VisitTaskbarDescendants([&rect](std::wstring_view className, const ScreenRect& child) {
        if (className == L"TrayNotifyWnd") {
            rect = child;
            return true;
        }
        if (className == L"TrayClockWClass") {
            if (child.bottom < rect.bottom - 5)
                rect.top = child.bottom; // the clock sits above the icons
            else
                rect.right = child.left; // the clock sits to their right
            return false;
        }
        return true;
    });
    return rect;
}

// No taskbar window to look into: a strip near the end of the taskbar where the icons usually are.
ScreenRect FromTaskbarPosition(const TaskbarPlace& place) {
    const ScreenRect& r = place.rect;
    switch (place.edge) {
    case TaskbarEdge::Left:
    case TaskbarEdge::Right:
        return {r.left, r.bottom - 100, r.right, r.bottom - 16};
    case TaskbarEdge::Top:
    case TaskbarEdge::Bottom:
        break;
    }
    return {r.right - 100, r.top, r.right - 16, r.bottom};
}

} // namespace

ScreenRect TrayRect(TrayWindows& windows) {
    if (const auto taskbar = windows.TaskbarWindow())
        return FromTaskbarWindows(windows, *taskbar);
    if (const auto place = windows.TaskbarPosition())
        return FromTaskbarPosition(*place);
    ScreenRect rect = windows.WorkArea();
    rect.left = rect.right - 150;
    rect.top = rect.bottom - 30;
    return rect;
}

} // namespace kavrel
