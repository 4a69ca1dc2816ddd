#include "tests/win/controls/host.h"

#include "framework/WindowMessages.h"
#include "tests/win/controls/host_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <stdexcept>
#include <thread>

namespace kavrel::test {

namespace {

HWND g_dialog = nullptr; // the host whose dialog manager the message loop runs

INT_PTR CALLBACK HostProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

void SendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

void SendKey(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(input));
}

} // namespace

bool HostWindow::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
    case WM_COMBOLIST_GETITEMS:
        requestedColumns.push_back(static_cast<int>(wparam));
        *reinterpret_cast<std::vector<std::wstring>*>(lparam) = items;
        result = 1;
        return true;
    case WM_COMBOLIST_VALIDATE: {
        const auto& info = *reinterpret_cast<const NMLVDISPINFOW*>(lparam);
        HWND list = info.hdr.hwndFrom;
        wchar_t cell[256] = {};
        LVITEMW item{};
        item.iSubItem = info.item.iSubItem;
        item.pszText = cell;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(info.item.iItem), reinterpret_cast<LPARAM>(&item));
        validations.push_back(
            {wparam, info.item.iItem, info.item.iSubItem, info.item.pszText, info.item.cchTextMax, cell});
        if (writeBack)
            ListView_SetItemText(list, info.item.iItem, info.item.iSubItem, writeBack->data());
        result = 0;
        return true;
    }
    case WM_NOTIFY: {
        const UINT code = reinterpret_cast<const NMHDR*>(lparam)->code;
        if (code == LVN_BEGINLABELEDITW || code == LVN_ENDLABELEDITW)
            labelEditNotifications.push_back(code);
        return false;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK)
            ++okPressed;
        else if (LOWORD(wparam) == IDCANCEL)
            ++cancelPressed;
        else
            return false;
        result = 0;
        return true; // the host stays open whatever is pressed
    default:
        return false;
    }
}

Host::Host(std::vector<int> readOnly, std::vector<int> combo, int rows) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    dialog_ =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_HOST_DIALOG), nullptr, &HostProcedure, 0);
    if (dialog_ == nullptr)
        throw std::runtime_error("no host dialog");
    owner_.Subclass(dialog_);
    HWND list = GetDlgItem(dialog_, IDC_HOST_LIST);
    list_.Subclass(list);
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    const wchar_t* titles[] = {L"Link", L"COM Port", L"IP Address", L"TCP Port", L"MAC Address", L"Name", L"Status"};
    const int widths[] = {35, 60, 100, 60, 120, 130, 100};
    for (int i = 0; i < 7; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(titles[i]);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    for (int column : readOnly)
        list_.AddReadOnlyColumn(column);
    for (int column : combo)
        list_.AddComboColumn(column);
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(list, &item);
        SetCell(row, 1, L"COM" + std::to_wstring(10 + row));
        SetCell(row, 2, L"198.18.1." + std::to_wstring(row + 1));
        SetCell(row, 3, L"4001");
        SetCell(row, 4, L"00-1A-2B-3C-4D-" + std::to_wstring(10 + row));
        SetCell(row, 5, L"Device " + std::to_wstring(row));
        SetCell(row, 6, L"Disable");
    }
    for (int i = 10; i <= 30; ++i)
        owner_.items.push_back(L"COM" + std::to_wstring(i));
    g_dialog = dialog_;
    SetWindowPos(dialog_, HWND_TOP, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(dialog_);
    SetFocus(GetDlgItem(dialog_, IDOK));
    PumpUntil([&] { return GetForegroundWindow() == dialog_; }, 2s);
    Pump(100ms);
}

Host::~Host() {
    g_dialog = nullptr;
    DestroyWindow(dialog_);
    Pump(20ms);
}

std::wstring Host::Cell(int row, int column) const {
    wchar_t text[256] = {};
    ListView_GetItemText(List(), row, column, text, 256);
    return text;
}

void Host::SetCell(int row, int column, const std::wstring& text) {
    ListView_SetItemText(List(), row, column, const_cast<wchar_t*>(text.c_str()));
}

RECT Host::CellRect(int row, int column) const {
    RECT bounds{};
    ListView_GetItemRect(List(), row, &bounds, LVIR_BOUNDS);
    int left = bounds.left;
    for (int c = 0; c < column; ++c)
        left += ListView_GetColumnWidth(List(), c);
    return {left, bounds.top, left + ListView_GetColumnWidth(List(), column), bounds.bottom};
}

POINT Host::CellCenter(int row, int column) const {
    const RECT cell = CellRect(row, column);
    return ToScreen({(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2});
}

POINT Host::ToScreen(POINT client) const {
    ClientToScreen(List(), &client);
    return client;
}

int Host::SelectedCount() const {
    return ListView_GetSelectedCount(List());
}

bool Host::Selected(int row) const {
    return ListView_GetItemState(List(), row, LVIS_SELECTED) != 0;
}

int Host::FocusedRow() const {
    return ListView_GetNextItem(List(), -1, LVNI_FOCUSED);
}

HWND Host::Editor(const wchar_t* className) const {
    for (HWND child = GetWindow(List(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (lstrcmpiW(name, className) == 0)
            return child;
    }
    return nullptr;
}

RECT Host::InList(HWND child) const {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, List(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Pump(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (g_dialog != nullptr && IsDialogMessageW(g_dialog, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void ClickAt(POINT screen, WORD modifier) {
    SetCursorPos(screen.x, screen.y);
    Pump(60ms);
    if (modifier != 0) {
        SendKey(modifier, false);
        Pump(30ms);
    }
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    Pump(120ms);
    if (modifier != 0) {
        SendKey(modifier, true);
        Pump(30ms);
    }
}

void PressKey(WORD key, WORD modifier) {
    if (modifier != 0)
        SendKey(modifier, false);
    SendKey(key, false);
    SendKey(key, true);
    if (modifier != 0)
        SendKey(modifier, true);
    Pump(120ms);
}

void TypeText(const std::wstring& keys) {
    for (wchar_t c : keys)
        PressKey(static_cast<WORD>(towupper(c)));
}

void SetClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr))
        throw std::runtime_error("clipboard busy");
    EmptyClipboard();
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory); // the clipboard owns it now
    CloseClipboard();
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

} // namespace kavrel::test
