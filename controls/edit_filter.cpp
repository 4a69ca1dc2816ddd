#include "controls/edit_filter.h"

namespace kavrel {

namespace {
constexpr wchar_t kBackspace = 8;
constexpr wchar_t kCopy = 3;   // Ctrl+C
constexpr wchar_t kPaste = 22; // Ctrl+V
constexpr wchar_t kCut = 24;   // Ctrl+X
} // namespace

bool AcceptsTypedChar(std::wstring_view valid, wchar_t c) {
    if (valid.empty() || valid.find(c) != std::wstring_view::npos)
        return true;
    return c == kBackspace || c == kCopy || c == kPaste || c == kCut;
}

bool AcceptsPastedText(std::wstring_view valid, std::wstring_view text) {
    if (valid.empty())
        return true;
    for (wchar_t c : text)
        if (valid.find(c) == std::wstring_view::npos)
            return false;
    return true;
}

} // namespace kavrel
