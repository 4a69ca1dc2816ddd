#pragma once
// Conversions between the program's UTF-16 text and the system's ANSI code page.

#include <optional>
#include <string>
#include <string_view>

namespace kavrel::win {

// Empty optional when the system cannot convert the text.
std::optional<std::string> ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);

} // namespace kavrel::win
