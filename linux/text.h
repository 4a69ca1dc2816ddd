#pragma once
// The core's texts are wide; the command line speaks UTF-8.

#include <string>
#include <string_view>

namespace kavrel::service {

std::string Utf8(std::wstring_view text);
// Device names arrive in a Windows ANSI code page; Latin-1 is the part of it that all of them share.
std::wstring Latin1(std::string_view bytes);

} // namespace kavrel::service
