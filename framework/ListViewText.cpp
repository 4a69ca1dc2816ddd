#include "framework/ListViewText.h"

#include <commctrl.h>

#include <vector>

namespace kavrel::win {

std::wstring ListViewItemText(HWND list, int row, int column) {
    // The list view gives no text length, so grow the buffer until the text fits.
    std::vector<wchar_t> buffer(64);
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const auto length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace kavrel::win
