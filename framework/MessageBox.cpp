#include "framework/MessageBox.h"

namespace kavrel::win {

void ShowMessage(HWND owner, const std::wstring& text) noexcept {
    MessageBoxW(owner, text.c_str(), kApplicationName, MB_OK);
}

} // namespace kavrel::win
