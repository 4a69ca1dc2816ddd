#pragma once
// A modeless dialog shaped like the main one, whose device list is a CComboListCtrl, driven by real
// mouse and keyboard input. The dialog manager runs as in the program (IsDialogMessage), so Enter and
// Escape would press its Exit and Cancel buttons if the editors let them through.

#include "controls/CComboListCtrl.h"
#include "framework/Window.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::test {

using namespace std::chrono_literals;

struct Validation {
    WPARAM id;
    int row;
    int column;
    std::wstring text;     // the record's text
    int length;            // the record's length
    std::wstring cellText; // the cell's text when the owner was told
};

// The dialog window itself: answers the list's requests and records what reaches it.
class HostWindow : public win::Window {
public:
    std::vector<std::wstring> items;          // handed out for every drop-down
    std::optional<std::wstring> writeBack;    // written into the cell when told of an edit
    std::vector<int> requestedColumns;        // WM_COMBOLIST_GETITEMS, in order
    std::vector<Validation> validations;      // WM_COMBOLIST_VALIDATE, in order
    std::vector<UINT> labelEditNotifications; // LVN_BEGIN/ENDLABELEDIT that leaked to the owner
    int okPressed = 0;
    int cancelPressed = 0;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
};

class Host {
public:
    // Columns as the main dialog's; readOnly and combo as OnInitDialog configures them.
    Host(std::vector<int> readOnly = {0, 2, 3, 4, 5, 6}, std::vector<int> combo = {1}, int rows = 12);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    ~Host();

    HWND Dialog() const { return dialog_; }
    HWND List() const { return list_.Handle(); }
    CComboListCtrl& Control() { return list_; }
    HostWindow& Owner() { return owner_; }

    std::wstring Cell(int row, int column) const;
    void SetCell(int row, int column, const std::wstring& text);
    RECT CellRect(int row, int column) const;    // list client coordinates, column 0 whole
    POINT CellCenter(int row, int column) const; // screen coordinates
    POINT ToScreen(POINT client) const;
    int SelectedCount() const;
    bool Selected(int row) const;
    int FocusedRow() const;

    // The open editor window of that class (the list's child), or null.
    HWND Editor(const wchar_t* className) const;
    HWND Combo() const { return Editor(L"ComboBox"); }
    HWND Edit() const { return Editor(L"Edit"); }
    RECT InList(HWND child) const; // a child's window rectangle in list client coordinates

private:
    HostWindow owner_;
    CComboListCtrl list_;
    HWND dialog_ = nullptr;
};

// The message loop, with the dialog manager, for a while or until the condition holds.
void Pump(std::chrono::milliseconds time);
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s);

// Real input. Modifiers are pressed after the move, as Wine reads them back from X on a move.
void ClickAt(POINT screen, WORD modifier = 0);
void PressKey(WORD key, WORD modifier = 0);
void TypeText(const std::wstring& keys); // letters and digits, each as its key
void SetClipboard(const std::wstring& text);
std::wstring ClipboardText();

} // namespace kavrel::test
