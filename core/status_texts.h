#pragma once
// The texts of a device row's Status cell.

namespace kavrel {

inline constexpr wchar_t kStatusDisable[] = L"Disable"; // not linked
inline constexpr wchar_t kStatusEnable[] = L"Enable";   // linked, emulation not running (or after Stop)
inline constexpr wchar_t kStatusReady[] = L"Ready";     // the status poll found the device connected
inline constexpr wchar_t kStatusError[] = L"Error";     // the status poll found it not connected

} // namespace kavrel
