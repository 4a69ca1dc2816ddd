#pragma once
// Drives a running kavrel.exe from another Windows process, as a user would: finds its windows, reads its
// controls and list view cells, clicks with the real mouse, presses real keys, and saves screenshots.

#include "core/device_rows.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// The main dialog as its template has it; the list's columns (kColumn*) are the program's own.
inline const std::wstring kMainTitle = L"Kavrel  2.0";
enum DialogItem : int { kStartButton = 1000, kStopButton = 1001, kDeviceList = 1003, kSearchButton = 1004 };
using kavrel::kColumnComPort, kavrel::kColumnIpAddress, kavrel::kColumnTcpPort, kavrel::kColumnMacAddress,
    kavrel::kColumnName, kavrel::kColumnStatus;

// kavrel.exe, started from the folder this test program lives in. Ended at destruction if still running.
class Program {
public:
    Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    DWORD Id() const noexcept { return processId_; }
    HANDLE Handle() const noexcept { return process_; }
    bool Running() const noexcept;
    // The exit code, or STILL_ACTIVE when the program has not ended within the time.
    DWORD WaitForExit(Duration timeout) const noexcept;

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

std::wstring ProgramFolder();

// Polls until the condition holds; false when the time ran out.
bool WaitUntil(const std::function<bool()>& condition, Duration timeout = 10s);

// Visible top-level windows of a process with exactly this title (any process when processId is 0).
std::vector<HWND> TopLevelWindows(DWORD processId, const std::wstring& title);
// With a process id, also waits until that program waits for input and its window has the keyboard focus,
// so the window is fully set up.
HWND WaitForWindow(DWORD processId, const std::wstring& title, Duration timeout = 20s);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
// The window's rectangle in its parent's client coordinates (screen coordinates for a top-level window).
RECT RectInParent(HWND window);
HWND FocusOf(HWND topLevel);
std::vector<HWND> ChildrenOf(HWND parent);
POINT CenterOf(const RECT& rect);

// The lines of the device simulator's log (KAVREL_DEVSIM_LOG) that begin with prefix.
std::vector<std::string> DevsimLog(const std::string& prefix);
// Connections the simulator accepted minus those it saw closed, for one device ("198.18.1.1:4001").
int OpenConnections(const std::string& device);
// Whether the engine serves the COM port \\.\pipe\name.
bool PipeExists(const std::wstring& name);

// Real input: the cursor moves there, then the button goes down and up.
void ClickAt(POINT screen);
void DoubleClickAt(POINT screen);
void Click(HWND window);
void RightClickAt(POINT screen);
// Left button down at from, moved in steps to to, released there: a drag as the user makes it.
void DragFromTo(POINT from, POINT to, int steps = 10);
// Only moves the cursor, as a user pointing at something (for tooltips and hot-tracking).
void MoveCursorTo(POINT screen);
// A click with Shift or Ctrl held: the cursor moves first, then the key goes down, as Wine re-reads
// the modifiers from X on a move.
void ClickWith(WORD modifier, POINT screen);
void PressKey(WORD virtualKey);
void PressKeys(std::initializer_list<WORD> chord);
// Makes the window the active one by clicking its caption-free area, so that keys reach it.
void Activate(HWND topLevel);

// A list view of another process, read through memory allocated in that process.
class RemoteListView {
public:
    explicit RemoteListView(HWND list);
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;
    ~RemoteListView();

    int RowCount() const;
    int ColumnCount() const;
    std::wstring ColumnTitle(int column) const;
    int ColumnWidth(int column) const;
    std::wstring Cell(int row, int column) const;
    // The first row whose MAC Address is mac, or -1.
    int RowOf(const std::wstring& mac) const;
    bool Checked(int row) const;
    // Bounds of a cell (column 0: the label part) in screen coordinates.
    RECT CellRect(int row, int column) const;
    // A point on the row's check box, in screen coordinates, found by the list's own hit test.
    std::optional<POINT> CheckBoxPoint(int row) const;
    // Appends a row with these cell texts, as the program's own rows are made; returns its index or -1.
    int AppendRow(const std::vector<std::wstring>& cells);

private:
    void Write(const void* data, size_t size, size_t offset = 0) const;
    void Read(void* data, size_t size, size_t offset = 0) const;

    HWND list_;
    HANDLE process_ = nullptr;
    char* remote_ = nullptr; // one buffer in the other process: a structure, then text
};

// kavrel.exe with its main dialog and device list found (dialog is null when no window came).
struct MainWindow {
    MainWindow();
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::wstring Status(const std::wstring& mac) const { return list->Cell(list->RowOf(mac), kColumnStatus); }
    bool WaitStatus(const std::wstring& mac, const std::wstring& status, Duration timeout = 5s) const;
    // Clicks the row's check box; then waits, so that the next click on it is no double-click.
    bool Tick(const std::wstring& mac) const;
    // Prints every row, for a failed test's log.
    void Dump() const;

    Program program;
    HWND dialog = nullptr;
    std::unique_ptr<RemoteListView> list;
};

// Saves the whole screen as <name>.bmp in KAVREL_SCREENSHOT_DIR (turned into PNG after the run).
void SaveScreenshot(const std::string& name);

} // namespace kavrel::e2e
