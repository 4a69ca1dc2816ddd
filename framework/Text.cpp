#include "framework/Text.h"

#include <windows.h>

namespace kavrel::win {

std::optional<std::string> ToAnsi(std::wstring_view text) {
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    // A character the code page lacks must fail the conversion, not turn silently into '?' or a look-alike
    // (an init string with a changed host name would reach the wrong device). UTF-8 takes neither the
    // flag nor the default-character report, and lacks only unpaired surrogates.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* reportDefault = utf8 ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, reportDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    std::string result(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, text.data(), length, result.data(), size, nullptr, reportDefault) != size ||
        usedDefault)
        return std::nullopt;
    return result;
}

std::wstring FromAnsi(std::string_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, result.data(), size);
    return result;
}

} // namespace kavrel::win
