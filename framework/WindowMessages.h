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

} // namespace kavrel
