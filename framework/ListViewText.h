#pragma once
// A list view cell's whole text, however long.

#include <windows.h>

#include <string>

namespace kavrel::win {

std::wstring ListViewItemText(HWND list, int row, int column);

} // namespace kavrel::win
