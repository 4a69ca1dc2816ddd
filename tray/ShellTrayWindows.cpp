#include "tray/ShellTrayWindows.h"

#include <windows.h>

#include <shellapi.h>

#include <type_traits>

namespace kavrel {

namespace {

ScreenRect FromRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

HWND FindTaskbar() {
    return FindWindowW(L"Shell_TrayWnd", nullptr);
}

} // namespace

std::optional<ScreenRect> ShellTrayWindows::TaskbarWindow() {
    HWND taskbar = FindTaskbar();
    RECT rect{};
    if (taskbar == nullptr || !GetWindowRect(taskbar, &rect))
        return std::nullopt;
    return FromRect(rect);
}

void ShellTrayWindows::VisitTaskbarDescendants(
    const std::function<bool(std::wstring_view className, const ScreenRect& rect)>& visit) {
    HWND taskbar = FindTaskbar();
    if (taskbar == nullptr)
        return;
    EnumChildWindows(
        taskbar,
        [](HWND child, LPARAM lparam) -> BOOL {
            const auto& callback = *reinterpret_cast<const std::remove_reference_t<decltype(visit)>*>(lparam);
            wchar_t name[256] = {};
            const int length = GetClassNameW(child, name, 256);
            RECT rect{};
            GetWindowRect(child, &rect);
            return callback(std::wstring_view(name, static_cast<size_t>(length > 0 ? length : 0)), FromRect(rect))
                       ? TRUE
                       : FALSE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

std::optional<TaskbarPlace> ShellTrayWindows::TaskbarPosition() {
    APPBARDATA data{};
    data.cbSize = sizeof(data);
    if (SHAppBarMessage(ABM_GETTASKBARPOS, &data) == 0)
        return std::nullopt;
    switch (data.uEdge) {
    case ABE_LEFT:
        return TaskbarPlace{TaskbarEdge::Left, FromRect(data.rc)};
    case ABE_TOP:
        return TaskbarPlace{TaskbarEdge::Top, FromRect(data.rc)};
    case ABE_RIGHT:
        return TaskbarPlace{TaskbarEdge::Right, FromRect(data.rc)};
    case ABE_BOTTOM:
        return TaskbarPlace{TaskbarEdge::Bottom, FromRect(data.rc)};
    default:
        return std::nullopt; // an edge we cannot place the icons on
    }
}

ScreenRect ShellTrayWindows::WorkArea() {
    RECT rect{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0);
    return FromRect(rect);
}

} // namespace kavrel
