#pragma once
// Every private window message of the program, in one place so no two collide.

#include <windows.h>

namespace kavrel {

// From the device list to its owner before a drop-down opens: wparam the column, lparam the
// std::vector<std::wstring>* to fill with the items. Answer 1.
inline constexpr UINT WM_COMBOLIST_GETITEMS = WM_APP + 0x3FC; // 0x83FC
// From the device list to its owner after a cell was edited: wparam the list's control ID, lparam the
// NMLVDISPINFOW* end-of-edit record (item.iItem row, item.iSubItem column, item.pszText the new text),
// valid during the call. The cell already holds the new text; text the owner writes back there stays.
inline constexpr UINT WM_COMBOLIST_VALIDATE = WM_APP + 0x3FD; // 0x83FD
// The tray icon's callback.
inline constexpr UINT WM_TRAYICON_NOTIFY = WM_APP + 100; // 0x8064

// Sends a private message whose lparam is a pointer. Any process may send any message to our windows,
// and a number it passes as lparam would be read in our address space: the handler reads lparam only
// when IsOurs says this thread is sending exactly that pointer.
class PointerMessage {
public:
    static LRESULT Send(HWND window, UINT message, WPARAM wparam, const void* pointer) noexcept {
        const void* previous = current_;
        current_ = pointer;
        const LRESULT result = SendMessageW(window, message, wparam, reinterpret_cast<LPARAM>(pointer));
        current_ = previous;
        return result;
    }
    static bool IsOurs(LPARAM lparam) noexcept {
        return lparam != 0 && reinterpret_cast<const void*>(lparam) == current_ && !InSendMessage();
    }

private:
    static inline thread_local const void* current_ = nullptr;
};

} // namespace kavrel
