#include "tools/win-driver/Driver.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace kavrel::e2e {

namespace {

constexpr size_t kRemoteBufferSize = 4096;
constexpr size_t kRemoteTextOffset = 512;
constexpr int kRemoteTextChars = static_cast<int>((kRemoteBufferSize - kRemoteTextOffset) / sizeof(wchar_t));

void SendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

void SendKey(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof(input));
}

void MoveTo(POINT screen) {
    SetCursorPos(screen.x, screen.y);
    // Wine reads the pointer and modifier state back from X after a move: let it settle.
    std::this_thread::sleep_for(50ms);
}

} // namespace

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

namespace {

// Wine shows its stand-alone tray window when the first icon arrives, and that window then takes the
// foreground from the program that added the icon. An icon of the driver's own keeps the window shown
// for the whole run, so the program under test keeps the foreground it takes.
void KeepWineTrayShown() {
    static const bool done = [] {
        HWND owner = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof(icon);
        icon.hWnd = owner;
        icon.uID = 1;
        icon.uFlags = NIF_ICON | NIF_TIP;
        icon.hIcon = LoadIconW(nullptr, IDI_INFORMATION);
        lstrcpynW(icon.szTip, L"e2e driver", 128);
        if (owner != nullptr && Shell_NotifyIconW(NIM_ADD, &icon))
            WaitUntil([] { return !TopLevelWindows(0, L"Wine System Tray").empty(); }, 5s);
        return true;
    }();
    (void)done;
}

} // namespace

Program::Program() {
    KeepWineTrayShown();
    std::wstring commandLine = L"\"" + ProgramFolder() + L"kavrel.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        throw std::runtime_error("kavrel.exe could not be started");
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

Program::~Program() {
    if (Running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool Program::Running() const noexcept {
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD Program::WaitForExit(Duration timeout) const noexcept {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool WaitUntil(const std::function<bool()>& condition, Duration timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
}

std::vector<HWND> TopLevelWindows(DWORD processId, const std::wstring& title) {
    struct Search {
        DWORD processId;
        const std::wstring* title;
        std::vector<HWND> found;
    } search{processId, &title, {}};
    EnumWindows(
        [](HWND window, LPARAM lparam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lparam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if ((s.processId == 0 || owner == s.processId) && IsWindowVisible(window) && TextOf(window) == *s.title)
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD processId, const std::wstring& title, Duration timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            auto windows = TopLevelWindows(processId, title);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeout);
    // A dialog may be shown while it is still being set up; its program is ready once it waits for input.
    if (found != nullptr && processId != 0) {
        if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId)) {
            WaitForInputIdle(process, static_cast<DWORD>(timeout.count()));
            CloseHandle(process);
        }
        // Under Wine the activation, and with it the keyboard focus, settles a moment later: the X server's
        // focus events may take it away once more before it stays.
        int steady = 0;
        WaitUntil([&] { return (steady = FocusOf(found) != nullptr ? steady + 1 : 0) >= 8; }, 3s);
    }
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    const int length = GetWindowTextW(window, text, 512);
    return std::wstring(text, static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

RECT RectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent != nullptr && parent != GetDesktopWindow())
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND FocusOf(HWND topLevel) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(topLevel, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

POINT CenterOf(const RECT& rect) {
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::vector<std::string> DevsimLog(const std::string& prefix) {
    const char* path = std::getenv("KAVREL_DEVSIM_LOG");
    std::ifstream log(std::string("Z:") + (path ? path : ""));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

int OpenConnections(const std::string& device) {
    int open = 0;
    for (const auto& line : DevsimLog("tcp "))
        if (line.find(" " + device) != std::string::npos)
            open += line.rfind("tcp accept", 0) == 0 ? 1 : line.rfind("tcp close", 0) == 0 ? -1 : 0;
    return open;
}

bool PipeExists(const std::wstring& name) {
    HANDLE pipe = CreateFileW((L"\\\\.\\pipe\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_PIPE_BUSY;
    CloseHandle(pipe);
    return true;
}

void ClickAt(POINT screen) {
    MoveTo(screen);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    std::this_thread::sleep_for(50ms);
}

void DoubleClickAt(POINT screen) {
    MoveTo(screen);
    for (int i = 0; i < 2; ++i) {
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    }
    std::this_thread::sleep_for(50ms);
}

void RightClickAt(POINT screen) {
    MoveTo(screen);
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    std::this_thread::sleep_for(50ms);
}

void DragFromTo(POINT from, POINT to, int steps) {
    MoveTo(from);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    std::this_thread::sleep_for(50ms);
    steps = steps < 1 ? 1 : steps;
    // Moves as input events, so that a modal loop the press started (sizing, dragging) sees them.
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    for (int i = 1; i <= steps; ++i) {
        const LONG x = from.x + (to.x - from.x) * i / steps;
        const LONG y = from.y + (to.y - from.y) * i / steps;
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = (x * 65536 + width / 2) / width;
        input.mi.dy = (y * 65536 + height / 2) / height;
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(input));
        std::this_thread::sleep_for(30ms);
    }
    SendMouse(MOUSEEVENTF_LEFTUP);
    std::this_thread::sleep_for(100ms);
}

void MoveCursorTo(POINT screen) {
    MoveTo(screen);
}

void Click(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    ClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

void ClickWith(WORD modifier, POINT screen) {
    MoveTo(screen);
    SendKey(modifier, false);
    std::this_thread::sleep_for(50ms);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    std::this_thread::sleep_for(50ms);
    SendKey(modifier, true);
    std::this_thread::sleep_for(50ms);
}

void PressKey(WORD virtualKey) {
    PressKeys({virtualKey});
}

void PressKeys(std::initializer_list<WORD> chord) {
    for (WORD key : chord)
        SendKey(key, false);
    for (auto it = std::rbegin(chord); it != std::rend(chord); ++it)
        SendKey(*it, true);
    std::this_thread::sleep_for(50ms);
}

void Activate(HWND topLevel) {
    SetForegroundWindow(topLevel);
    WaitUntil([&] { return GetForegroundWindow() == topLevel; }, 2s);
}

RemoteListView::RemoteListView(HWND list) : list_(list) {
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process_ == nullptr)
        throw std::runtime_error("cannot open the list's process");
    remote_ = static_cast<char*>(
        VirtualAllocEx(process_, nullptr, kRemoteBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote_ == nullptr)
        throw std::runtime_error("cannot allocate in the list's process");
}

RemoteListView::~RemoteListView() {
    VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    CloseHandle(process_);
}

void RemoteListView::Write(const void* data, size_t size, size_t offset) const {
    WriteProcessMemory(process_, remote_ + offset, data, size, nullptr);
}

void RemoteListView::Read(void* data, size_t size, size_t offset) const {
    ReadProcessMemory(process_, remote_ + offset, data, size, nullptr);
}

int RemoteListView::RowCount() const {
    return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
}

int RemoteListView::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

std::wstring RemoteListView::ColumnTitle(int column) const {
    LVCOLUMNW request{};
    request.mask = LVCF_TEXT;
    request.pszText = reinterpret_cast<wchar_t*>(remote_ + kRemoteTextOffset);
    request.cchTextMax = kRemoteTextChars;
    Write(&request, sizeof(request));
    if (!SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(remote_)))
        return {};
    std::vector<wchar_t> text(static_cast<size_t>(kRemoteTextChars));
    Read(text.data(), text.size() * sizeof(wchar_t), kRemoteTextOffset);
    text.back() = 0;
    return text.data();
}

int RemoteListView::ColumnWidth(int column) const {
    return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

std::wstring RemoteListView::Cell(int row, int column) const {
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = reinterpret_cast<wchar_t*>(remote_ + kRemoteTextOffset);
    request.cchTextMax = kRemoteTextChars;
    Write(&request, sizeof(request));
    const auto length = static_cast<size_t>(
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_)));
    std::wstring text(length, L'\0');
    Read(text.data(), length * sizeof(wchar_t), kRemoteTextOffset);
    return text;
}

int RemoteListView::RowOf(const std::wstring& mac) const {
    for (int r = 0; r < RowCount(); ++r)
        if (Cell(r, kColumnMacAddress) == mac)
            return r;
    return -1;
}

bool RemoteListView::Checked(int row) const {
    const auto state =
        static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

RECT RemoteListView::CellRect(int row, int column) const {
    RECT rect{};
    rect.top = column;
    rect.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    Write(&rect, sizeof(rect));
    SendMessageW(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_));
    Read(&rect, sizeof(rect));
    MapWindowPoints(list_, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::optional<POINT> RemoteListView::CheckBoxPoint(int row) const {
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    Write(&bounds, sizeof(bounds));
    if (!SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_)))
        return std::nullopt;
    Read(&bounds, sizeof(bounds));
    const int y = (bounds.top + bounds.bottom) / 2;
    for (int x = bounds.left; x < bounds.left + 40; ++x) {
        LVHITTESTINFO hit{};
        hit.pt = {x, y};
        Write(&hit, sizeof(hit));
        SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(remote_));
        Read(&hit, sizeof(hit));
        if (hit.iItem == row && (hit.flags & LVHT_ONITEMSTATEICON)) {
            POINT point{x + 4, y}; // a little inside the box's left edge
            MapWindowPoints(list_, nullptr, &point, 1);
            return point;
        }
    }
    return std::nullopt;
}

int RemoteListView::AppendRow(const std::vector<std::wstring>& cells) {
    auto* text = reinterpret_cast<wchar_t*>(remote_ + kRemoteTextOffset);
    int row = -1;
    for (size_t column = 0; column < cells.size(); ++column) {
        std::wstring cell = cells[column].substr(0, static_cast<size_t>(kRemoteTextChars - 1));
        Write(cell.c_str(), (cell.size() + 1) * sizeof(wchar_t), kRemoteTextOffset);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = column == 0 ? RowCount() : row;
        item.iSubItem = static_cast<int>(column);
        item.pszText = text;
        Write(&item, sizeof(item));
        if (column == 0) {
            row = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(remote_)));
            if (row < 0)
                return -1;
        } else {
            SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote_));
        }
    }
    return row;
}

MainWindow::MainWindow() : dialog(WaitForWindow(program.Id(), kMainTitle)) {
    if (dialog != nullptr)
        list = std::make_unique<RemoteListView>(GetDlgItem(dialog, kDeviceList));
}

bool MainWindow::WaitStatus(const std::wstring& mac, const std::wstring& status, Duration timeout) const {
    return WaitUntil([&] { return Status(mac) == status; }, timeout);
}

bool MainWindow::Tick(const std::wstring& mac) const {
    const auto box = list->CheckBoxPoint(list->RowOf(mac));
    if (box)
        ClickAt(*box);
    std::this_thread::sleep_for(600ms);
    return box.has_value();
}

void MainWindow::Dump() const {
    for (int r = 0; list && r < list->RowCount(); ++r) {
        std::wstring line;
        for (int c = 1; c < 7; ++c)
            line += list->Cell(r, c) + L" | ";
        std::printf("row %d: %ls\n", r, line.c_str());
    }
}

void SaveScreenshot(const std::string& name) {
    const char* folder = std::getenv("KAVREL_SCREENSHOT_DIR");
    if (folder == nullptr || *folder == '\0')
        return;
    // A Unix path from the build reaches Wine's drive Z: unchanged but for the separators.
    std::string path = std::string(folder[0] == '/' ? "Z:" : "") + folder + "/" + name + ".bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageSize;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, &file, sizeof(file), &written, nullptr);
        WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr);
        WriteFile(out, bits, imageSize, &written, nullptr);
        CloseHandle(out);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

} // namespace kavrel::e2e
