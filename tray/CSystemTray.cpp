#include "tray/CSystemTray.h"

#include "framework/WindowMessages.h"
#include "tray/ShellTrayWindows.h"
#include "tray/TaskbarMessage.h"

namespace kavrel {

namespace {

constexpr wchar_t kHiddenWindowClass[] = L"TrayIconClass";
constexpr wchar_t kTip[] = L"Kavrel";
constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

bool MinimizeAnimationOn() {
    ANIMATIONINFO animation{};
    animation.cbSize = sizeof(animation);
    return SystemParametersInfoW(SPI_GETANIMATION, sizeof(animation), &animation, 0) && animation.iMinAnimate != 0;
}

RECT TrayRectangle() {
    ShellTrayWindows windows;
    const ScreenRect tray = TrayRect(windows);
    return {tray.left, tray.top, tray.right, tray.bottom};
}

// Where the window will stand once shown: its restored place when it is still minimised.
RECT ShownRect(HWND window) {
    RECT rect{};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (IsIconic(window) && GetWindowPlacement(window, &placement))
        return placement.rcNormalPosition;
    GetWindowRect(window, &rect);
    return rect;
}

// The tray menu's popup: the first sub-menu of the menu resource.
struct TrayMenu {
    win::ScopedMenu menu;
    HMENU popup = nullptr;

    TrayMenu(HINSTANCE instance, UINT menuId)
        : menu(LoadMenuW(instance, MAKEINTRESOURCEW(menuId))), popup(menu ? GetSubMenu(menu.Get(), 0) : nullptr) {}
};

} // namespace

CSystemTray* CSystemTray::current_ = nullptr;
HWND CSystemTray::hiddenParent_ = nullptr;
UINT CSystemTray::maxTipLength_ = 0;

CSystemTray::CSystemTray() noexcept {
    current_ = this;
}

CSystemTray::~CSystemTray() {
    shown_ = false;
    DeleteIcon();
    hiddenWindow_.Reset();
    // The hidden window procedure must not reach an object that is gone.
    if (current_ == this)
        current_ = nullptr;
    // The hiding parent goes with the last tray object, unless a window still hides in it.
    if (current_ == nullptr && IsWindow(hiddenParent_) && GetWindow(hiddenParent_, GW_CHILD) == nullptr) {
        DestroyWindow(hiddenParent_);
        hiddenParent_ = nullptr;
    }
}

BOOL CSystemTray::AddTrayIcon(HINSTANCE instance, HICON icon, UINT menuId) noexcept {
#ifdef _MSC_VER
#pragma warning(suppress : 4996) // deprecated, but it is the major version that decides here
#endif
    enabled_ = LOBYTE(LOWORD(GetVersion())) >= 4;
    if (!enabled_)
        return FALSE;
    maxTipLength_ = 128;
    instance_ = instance;
    menuId_ = menuId;

    // A second add replaces the first icon rather than leaving it behind with a dead window.
    DeleteIcon();
    hiddenWindow_.Reset();

    WNDCLASSW windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = &CSystemTray::HiddenWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHiddenWindowClass;
    RegisterClassW(&windowClass); // already registered by an earlier tray is fine

    hiddenWindow_.Reset(CreateWindowExW(0, kHiddenWindowClass, L"", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr));

    iconData_ = NOTIFYICONDATAW{};
    iconData_.cbSize = sizeof(iconData_);
    iconData_.hWnd = hiddenWindow_.Get();
    iconData_.uID = menuId;
    iconData_.uFlags = kIconFlags;
    iconData_.uCallbackMessage = WM_TRAYICON_NOTIFY;
    iconData_.hIcon = icon;
    lstrcpynW(iconData_.szTip, kTip, static_cast<int>(maxTipLength_));

    commandWindow_ = hiddenWindow_.Get();
    savedFlags_ = iconData_.uFlags;

    // Without a window the shell would have nobody to report the icon's events to.
    const bool ok = hiddenWindow_ && Shell_NotifyIconW(NIM_ADD, &iconData_);
    hidden_ = removed_ = !ok;
    shown_ = ok;
    return ok ? TRUE : FALSE;
}

BOOL CSystemTray::SetDefaultMenuItem(UINT commandId) noexcept {
    if (commandId == defaultItem_ && !defaultByPosition_)
        return TRUE;
    defaultItem_ = commandId;
    defaultByPosition_ = false;
    TrayMenu menu(instance_, menuId_);
    if (menu.popup == nullptr)
        return FALSE;
    SetMenuDefaultItem(menu.popup, defaultItem_, FALSE);
    return TRUE;
}

LRESULT CSystemTray::HandleTrayMessage(WPARAM wparam, LPARAM lparam) noexcept {
    if (wparam != iconData_.uID)
        return 0;
    HWND target = commandWindow_ != nullptr ? commandWindow_ : hiddenWindow_.Get();
    if (target == nullptr)
        return 0;

    switch (LOWORD(lparam)) {
    case WM_RBUTTONUP: {
        TrayMenu menu(instance_, menuId_);
        if (menu.popup == nullptr)
            return 0;
        SetMenuDefaultItem(menu.popup, defaultItem_, defaultByPosition_ ? TRUE : FALSE);
        PrepareMenu(menu.popup);
        POINT cursor{};
        GetCursorPos(&cursor);
        // A menu whose owner is not in the foreground would not close when the user clicks elsewhere.
        SetForegroundWindow(hiddenWindow_.Get());
        TrackPopupMenu(menu.popup, 0, cursor.x, cursor.y, 0, target, nullptr);
        // Lets the menu's loop finish its switch of the foreground, so the next right-click opens it again.
        PostMessageW(hiddenWindow_.Get(), WM_NULL, 0, 0);
        return 1;
    }
    case WM_LBUTTONDBLCLK: {
        SetForegroundWindow(hiddenWindow_.Get());
        UINT command = defaultItem_;
        if (defaultByPosition_) {
            TrayMenu menu(instance_, menuId_);
            if (menu.popup == nullptr)
                return 0;
            command = GetMenuItemID(menu.popup, static_cast<int>(defaultItem_));
            if (command == static_cast<UINT>(-1))
                return 0; // a separator or a sub-menu has no command
        }
        PostMessageW(target, WM_COMMAND, command, 0);
        return 1;
    }
    default:
        return 1;
    }
}

void CSystemTray::PrepareMenu(HMENU) noexcept {}

void CSystemTray::AddAgain() noexcept {
    if (!shown_ || hidden_)
        return;
    iconData_.uFlags = savedFlags_;
    const bool ok = Shell_NotifyIconW(NIM_ADD, &iconData_);
    hidden_ = !ok;
    shown_ = ok;
}

void CSystemTray::DeleteIcon() noexcept {
    if (!enabled_ || removed_)
        return;
    iconData_.uFlags = 0;
    if (Shell_NotifyIconW(NIM_DELETE, &iconData_))
        hidden_ = removed_ = true;
}

LRESULT CALLBACK CSystemTray::HiddenWindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    CSystemTray* tray = current_;
    if (tray == nullptr || hwnd != tray->hiddenWindow_.Get())
        return DefWindowProcW(hwnd, message, wparam, lparam);
    const UINT taskbarCreated = TaskbarCreatedMessage();
    if (taskbarCreated != 0 && message == taskbarCreated) {
        tray->AddAgain();
        return 0;
    }
    if (message == tray->iconData_.uCallbackMessage)
        return tray->HandleTrayMessage(wparam, lparam);
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void CSystemTray::HideToTray(HWND window) noexcept {
    if (MinimizeAnimationOn()) {
        RECT from{};
        GetWindowRect(window, &from);
        const RECT to = TrayRectangle();
        DrawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    if (!IsWindow(hiddenParent_))
        hiddenParent_ = CreateWindowExW(0, L"Static", L"", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    // A child of an invisible window is not shown and has no taskbar button.
    if (hiddenParent_ != nullptr)
        SetParent(window, hiddenParent_);
    SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) & ~WS_VISIBLE);
}

void CSystemTray::ShowFromTray(HWND window) noexcept {
    SetParent(window, nullptr);
    if (MinimizeAnimationOn()) {
        const RECT from = TrayRectangle();
        const RECT to = ShownRect(window);
        DrawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | WS_VISIBLE);
    // A window minimised on its way into the tray comes back at its normal size.
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    if (IsWindow(hiddenParent_))
        SetActiveWindow(hiddenParent_);
    SetActiveWindow(window);
    SetForegroundWindow(window);
}

} // namespace kavrel
