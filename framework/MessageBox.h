#pragma once
// The program's only way to tell the user something: a modal box with an OK button.

#include <windows.h>

#include <string>

namespace kavrel::win {

inline constexpr wchar_t kApplicationName[] = L"Kavrel";

void ShowMessage(HWND owner, const std::wstring& text) noexcept;

} // namespace kavrel::win
