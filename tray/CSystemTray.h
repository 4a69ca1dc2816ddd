#pragma once
// The notification-area icon with its tip and menu, and the hiding of a window into the tray and back.
// The icon's mouse events become commands for a chosen window: a right-button release opens the tray menu,
// a left double-click performs the menu's default command.

#include "framework/ScopedHandles.h"

#include <windows.h>

#include <shellapi.h>

namespace kavrel {

class CSystemTray {
public:
    CSystemTray() noexcept;
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;
    virtual ~CSystemTray();

    // menuId: the menu resource whose first popup is the tray menu; also the icon's id.
    BOOL AddTrayIcon(HINSTANCE instance, HICON icon, UINT menuId) noexcept;
    // The window that gets the menu's commands; without one the hidden window gets them.
    void SetCommandWnd(HWND window) noexcept { commandWindow_ = window; }
    BOOL SetDefaultMenuItem(UINT commandId) noexcept;

    // The icon's callback: wparam the icon id, lparam the mouse message. 0 when not ours, else 1.
    virtual LRESULT HandleTrayMessage(WPARAM wparam, LPARAM lparam) noexcept;
    // Called with the tray menu just before it opens.
    virtual void PrepareMenu(HMENU menu) noexcept;

    // Work on any top-level window and keep no state of an object.
    static void HideToTray(HWND window) noexcept;
    static void ShowFromTray(HWND window) noexcept;

    const NOTIFYICONDATAW& IconData() const noexcept { return iconData_; }
    HWND HiddenWindow() const noexcept { return hiddenWindow_.Get(); }
    UINT DefaultMenuItem() const noexcept { return defaultItem_; }
    bool DefaultIsPosition() const noexcept { return defaultByPosition_; }
    bool IconShown() const noexcept { return shown_ && !hidden_; }

private:
    static LRESULT CALLBACK HiddenWindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    void AddAgain() noexcept;
    void DeleteIcon() noexcept;

    NOTIFYICONDATAW iconData_{};
    HINSTANCE instance_ = nullptr;
    UINT menuId_ = 0;
    win::ScopedWindow hiddenWindow_;
    HWND commandWindow_ = nullptr;
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool shown_ = false;
    UINT defaultItem_ = 0;
    bool defaultByPosition_ = true; // until the owner chooses, the first item ("Restore")
    UINT savedFlags_ = 0;

    static CSystemTray* current_;
    static HWND hiddenParent_;
    static UINT maxTipLength_;
};

} // namespace kavrel
