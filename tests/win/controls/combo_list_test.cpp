// The combo list and its in-place editors in a modeless dialog shaped like the main one, with real mouse and
// keys. The dialog manager runs as in the program (IsDialogMessage), so Enter and Escape would press its
// Exit and Cancel buttons if the editors let them through. (Cell geometry and the edit filters are proven
// natively in tests/unit/controls.)

#include "controls/CComboListCtrl.h"
#include "framework/Window.h"
#include "framework/WindowMessages.h"
#include "tests/win/controls/host_dialog.h"
#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

using namespace kavrel;
using namespace std::chrono_literals;

namespace {

HWND g_dialog = nullptr; // whose dialog manager the message loop runs

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            if (g_dialog == nullptr || !IsDialogMessageW(g_dialog, &message)) {
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

void Pump(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}

void SendInputOf(DWORD mouseFlags, WORD key = 0, bool up = false) {
    INPUT input{};
    input.type = key != 0 ? INPUT_KEYBOARD : INPUT_MOUSE;
    input.mi.dwFlags = mouseFlags;
    if (key != 0) {
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(1, &input, sizeof(input));
}

// Real input, pumped as it goes: Wine reads the modifiers back from X on a move, so they go down after it.
void ClickAt(POINT screen, WORD modifier = 0) {
    SetCursorPos(screen.x, screen.y);
    Pump(60ms);
    if (modifier != 0) {
        SendInputOf(0, modifier);
        Pump(30ms);
    }
    SendInputOf(MOUSEEVENTF_LEFTDOWN);
    SendInputOf(MOUSEEVENTF_LEFTUP);
    Pump(120ms);
    if (modifier != 0) {
        SendInputOf(0, modifier, true);
        Pump(30ms);
    }
}

void PressKey(WORD key, WORD modifier = 0) {
    for (WORD k : {modifier, key})
        if (k != 0)
            SendInputOf(0, k);
    for (WORD k : {key, modifier})
        if (k != 0)
            SendInputOf(0, k, true);
    Pump(120ms);
}

void SetClipboard(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory); // the clipboard owns it now
    CloseClipboard();
}

struct Validation {
    WPARAM id;
    int row, column;
    std::wstring text;     // the record's text
    int length;            // the record's length
    std::wstring cellText; // the cell's text when the owner was told
};

std::wstring CellOf(HWND list, int row, int column) {
    wchar_t text[256] = {};
    ListView_GetItemText(list, row, column, text, 256);
    return text;
}

// The dialog window itself: answers the list's requests and records what reaches it.
class HostWindow : public win::Window {
public:
    std::vector<std::wstring> items;          // handed out for every drop-down
    std::optional<std::wstring> writeBack;    // written into the cell when told of an edit
    std::vector<int> requestedColumns;        // WM_COMBOLIST_GETITEMS, in order
    std::vector<Validation> validations;      // WM_COMBOLIST_VALIDATE, in order
    std::vector<UINT> labelEditNotifications; // LVN_BEGIN/ENDLABELEDIT that leaked to the owner
    int okPressed = 0, cancelPressed = 0;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        result = 0;
        if (message == WM_COMBOLIST_GETITEMS) {
            requestedColumns.push_back(static_cast<int>(wparam));
            *reinterpret_cast<std::vector<std::wstring>*>(lparam) = items;
            result = 1;
        } else if (message == WM_COMBOLIST_VALIDATE) {
            const auto& info = *reinterpret_cast<const NMLVDISPINFOW*>(lparam);
            HWND list = info.hdr.hwndFrom;
            validations.push_back({wparam, info.item.iItem, info.item.iSubItem, info.item.pszText, info.item.cchTextMax,
                                   CellOf(list, info.item.iItem, info.item.iSubItem)});
            if (writeBack)
                ListView_SetItemText(list, info.item.iItem, info.item.iSubItem, writeBack->data());
        } else if (message == WM_NOTIFY) {
            const UINT code = reinterpret_cast<const NMHDR*>(lparam)->code;
            if (code == LVN_BEGINLABELEDITW || code == LVN_ENDLABELEDITW)
                labelEditNotifications.push_back(code);
            return false;
        } else if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
            ++(LOWORD(wparam) == IDOK ? okPressed : cancelPressed); // the host stays open whatever is pressed
        } else {
            return false;
        }
        return true;
    }
};

INT_PTR CALLBACK HostProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// Columns as the main dialog's, COM Port the drop-down, readOnly as given (the main dialog's by default),
// rows COM10, COM11, ... with the owner handing out COM10 to COM30.
class Host {
public:
    explicit Host(std::vector<int> readOnly = {0, 2, 3, 4, 5, 6}, int rows = 12) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_HOST_DIALOG), nullptr,
                                     &HostProcedure, 0);
        if (dialog_ == nullptr)
            throw std::runtime_error("no host dialog");
        owner_.Subclass(dialog_);
        HWND list = GetDlgItem(dialog_, IDC_HOST_LIST);
        list_.Subclass(list);
        ListView_SetExtendedListViewStyleEx(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                            LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        const int widths[] = {35, 60, 100, 60, 120, 130, 100};
        for (int i = 0; i < 7; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH | LVCF_SUBITEM;
            column.cx = widths[i];
            column.iSubItem = i;
            ListView_InsertColumn(list, i, &column);
        }
        for (int column : readOnly)
            list_.AddReadOnlyColumn(column);
        list_.AddComboColumn(kColumnComPort);
        for (int row = 0; row < rows; ++row) {
            LVITEMW item{};
            item.iItem = row;
            ListView_InsertItem(list, &item);
            SetCell(row, kColumnComPort, L"COM" + std::to_wstring(10 + row));
            SetCell(row, kColumnName, L"Device " + std::to_wstring(row));
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
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    ~Host() {
        g_dialog = nullptr;
        DestroyWindow(dialog_);
        Pump(20ms);
    }

    HWND Dialog() const { return dialog_; }
    HWND List() const { return list_.Handle(); }
    CComboListCtrl& Control() { return list_; }
    HostWindow& Owner() { return owner_; }
    std::wstring Cell(int row, int column) const { return CellOf(List(), row, column); }
    void SetCell(int row, int column, const std::wstring& text) {
        ListView_SetItemText(List(), row, column, const_cast<wchar_t*>(text.c_str()));
    }
    // In list client coordinates, column 0 whole.
    RECT CellRect(int row, int column) const {
        RECT bounds{};
        ListView_GetItemRect(List(), row, &bounds, LVIR_BOUNDS);
        for (int c = 0; c < column; ++c)
            bounds.left += ListView_GetColumnWidth(List(), c);
        return {bounds.left, bounds.top, bounds.left + ListView_GetColumnWidth(List(), column), bounds.bottom};
    }
    POINT ToScreen(POINT client) const {
        ClientToScreen(List(), &client);
        return client;
    }
    POINT CellCenter(int row, int column) const { return ToScreen(e2e::CenterOf(CellRect(row, column))); }
    int SelectedCount() const { return ListView_GetSelectedCount(List()); }
    int FocusedRow() const { return ListView_GetNextItem(List(), -1, LVNI_FOCUSED); }
    // The open editor window of that class (the list's child), or null.
    HWND Editor(const wchar_t* className) const {
        for (HWND child : e2e::ChildrenOf(List()))
            if (lstrcmpiW(e2e::ClassOf(child).c_str(), className) == 0)
                return child;
        return nullptr;
    }
    HWND Combo() const { return Editor(L"ComboBox"); }
    HWND Edit() const { return Editor(L"Edit"); }
    RECT InList(HWND child) const {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, List(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    bool Closed() const {
        return PumpUntil([&] { return Combo() == nullptr && Edit() == nullptr; });
    }
    // Opens the drop-down of a COM Port cell with a click and waits for it. Clicks alternate left and right
    // of the centre, so that two openings in quick succession make no double-click.
    HWND OpenCombo(int row) {
        static int openings = 0;
        POINT at = CellCenter(row, kColumnComPort);
        at.x += ++openings % 2 ? -8 : 8;
        ClickAt(at);
        PumpUntil([&] { return Combo() != nullptr; });
        return Combo();
    }

private:
    HostWindow owner_;
    CComboListCtrl list_;
    HWND dialog_ = nullptr;
};

std::wstring SelectedItem(HWND combo) {
    const auto index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    wchar_t text[64] = L"<none>";
    if (index != CB_ERR)
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

} // namespace

TEST(ComboList, ClickOnComPortOpensTheDropDownOverTheCellAndAPickIsWrittenBack) {
    Host host;
    host.SetCell(2, kColumnComPort, L"COM2"); // begins no item exactly, so COM20 is the first that begins with it
    HWND combo = host.OpenCombo(2);
    ASSERT_NE(combo, nullptr) << "no drop-down over the cell";
    EXPECT_EQ(host.FocusedRow(), 2);
    EXPECT_EQ(GetFocus(), combo);
    EXPECT_EQ(GetDlgCtrlID(combo), 0);
    EXPECT_EQ(host.Owner().requestedColumns, std::vector<int>{kColumnComPort});
    const RECT cell = host.CellRect(2, kColumnComPort);
    const RECT placed = host.InList(combo);
    EXPECT_EQ((std::vector<LONG>{placed.left, placed.top, placed.right}),
              (std::vector<LONG>{cell.left, cell.top, cell.right}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 21);
    EXPECT_EQ(SelectedItem(combo), L"COM20");
    EXPECT_EQ(SendMessageW(combo, WM_GETFONT, 0, 0), SendMessageW(host.List(), WM_GETFONT, 0, 0));
    EXPECT_EQ(host.Control().Header(), ListView_GetHeader(host.List())) << "the editor is no header";

    // Drop the list part with a click on the combo box, then pick an item with the mouse.
    RECT comboRect{};
    GetWindowRect(combo, &comboRect);
    ClickAt({comboRect.right - 5, comboRect.top + 5});
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }));
    e2e::SaveScreenshot("combo-list-dropped");
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(combo, &info);
    const auto pick = SendMessageW(info.hwndList, LB_GETTOPINDEX, 0, 0) + 1;
    wchar_t picked[16] = {};
    SendMessageW(info.hwndList, LB_GETTEXT, static_cast<WPARAM>(pick), reinterpret_cast<LPARAM>(picked));
    ASSERT_STRNE(picked, L"COM20");
    RECT item{};
    SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(pick), reinterpret_cast<LPARAM>(&item));
    MapWindowPoints(info.hwndList, nullptr, reinterpret_cast<POINT*>(&item), 2);
    ClickAt(e2e::CenterOf(item));

    ASSERT_TRUE(host.Closed()) << "closing the list part ends the edit";
    EXPECT_EQ(host.Cell(2, kColumnComPort), picked);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    const Validation& told = host.Owner().validations[0];
    EXPECT_EQ(told.id, 1003u);
    EXPECT_EQ(told.row, 2);
    EXPECT_EQ(told.column, kColumnComPort);
    EXPECT_EQ(told.text, picked);
    EXPECT_EQ(told.length, 5);
    EXPECT_EQ(told.cellText, picked) << "the cell changed before the owner was told";
    EXPECT_EQ(GetFocus(), host.List());
    EXPECT_TRUE(host.Owner().labelEditNotifications.empty()) << "the end of edit is the list's own business";
}

TEST(ComboList, EscapeRestoresTheTextAndEnterCommitsWithoutPressingTheButtons) {
    Host host;
    HWND combo = host.OpenCombo(0);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(SelectedItem(combo), L"COM10");
    PressKey(VK_DOWN);
    EXPECT_EQ(SelectedItem(combo), L"COM11");
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(0, kColumnComPort), L"COM10");
    ASSERT_EQ(host.Owner().validations.size(), 1u) << "the owner is told of a cancelled edit too";
    EXPECT_EQ(host.Owner().validations[0].text, L"COM10");

    // Escape with the list part open also restores.
    combo = host.OpenCombo(0);
    ASSERT_NE(combo, nullptr);
    PressKey(VK_F4);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }));
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(0, kColumnComPort), L"COM10");

    ASSERT_NE(host.OpenCombo(0), nullptr);
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(0, kColumnComPort), L"COM12");
    EXPECT_EQ(host.Owner().validations.size(), 3u);
    EXPECT_EQ(host.Owner().okPressed, 0) << "Enter must not press the default button";
    EXPECT_EQ(host.Owner().cancelPressed, 0) << "Escape must not press Cancel";
    EXPECT_EQ(GetFocus(), host.List());
    PressKey(VK_RETURN); // with the focus back on the list, the keys are the dialog's again
    EXPECT_EQ(host.Owner().okPressed, 1);
}

TEST(ComboList, ClicksBesideTheCellsAndModifiedClicksOpenNothing) {
    Host host({0, 2, 3, 4, 5, 6}, 3);
    ClickAt(host.CellCenter(1, kColumnMacAddress)); // a read-only cell: selects and focuses the row only
    EXPECT_EQ(host.FocusedRow(), 1);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.Edit(), nullptr);
    HWND exitButton = GetDlgItem(host.Dialog(), IDOK);
    SetFocus(exitButton);
    ListView_SetColumnWidth(host.List(), kColumnName, 40); // room right of the last column
    const RECT last = host.CellRect(2, kColumnStatus);
    for (POINT beside : {POINT{last.left + 5, last.bottom + 20}, POINT{last.right + 10, last.top + 3}}) {
        ClickAt(host.ToScreen(beside)); // below the last row, right of the last column
        EXPECT_EQ(GetFocus(), exitButton);
        EXPECT_EQ(host.SelectedCount(), 1);
    }

    // Shift and Ctrl clicks select, even on the focused row's COM Port, and open nothing.
    ClickAt(host.CellCenter(2, kColumnComPort), VK_SHIFT);
    EXPECT_EQ(host.SelectedCount(), 2);
    ClickAt(host.CellCenter(0, kColumnComPort), VK_CONTROL);
    EXPECT_EQ(host.SelectedCount(), 3);
    EXPECT_EQ(host.FocusedRow(), 0);
    ClickAt(host.CellCenter(0, kColumnComPort), VK_SHIFT);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_TRUE(host.Owner().requestedColumns.empty());

    // The Link box toggles and opens nothing.
    const RECT link = host.CellRect(1, 0);
    ClickAt(host.ToScreen({link.left + 8, (link.top + link.bottom) / 2}));
    EXPECT_EQ(ListView_GetCheckState(host.List(), 1), TRUE);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.Edit(), nullptr);
}

TEST(ComboList, ACellOffTheRightEdgeIsScrolledIntoViewFirst) {
    Host host;
    RECT client{};
    GetClientRect(host.List(), &client);
    ListView_SetColumnWidth(host.List(), 0, client.right - 20); // COM Port starts in view and ends beyond
    const RECT before = host.CellRect(1, kColumnComPort);
    ASSERT_GT(before.right, client.right);
    const int scrolled = GetScrollPos(host.List(), SB_HORZ);
    ClickAt(host.ToScreen({before.left + 10, (before.top + before.bottom) / 2}));
    HWND combo = host.Combo();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(GetScrollPos(host.List(), SB_HORZ) - scrolled, before.right - client.right);
    const RECT after = host.CellRect(1, kColumnComPort);
    EXPECT_EQ(after.right, client.right);
    EXPECT_EQ(host.InList(combo).left, after.left);
    EXPECT_EQ(host.InList(combo).right, after.right);
    e2e::SaveScreenshot("combo-list-scrolled");
}

TEST(ComboList, ScrollingWhileAnEditorIsOpenCommitsIt) {
    Host host;
    ASSERT_NE(host.OpenCombo(1), nullptr);
    PressKey(VK_DOWN); // COM11 -> COM12
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof(bar);
    ASSERT_TRUE(GetScrollBarInfo(host.List(), OBJID_VSCROLL, &bar));
    ASSERT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE) << "12 rows need a vertical scroll bar";
    // The down arrow at the bottom of the bar.
    ClickAt({(bar.rcScrollBar.left + bar.rcScrollBar.right) / 2, bar.rcScrollBar.bottom - bar.dxyLineButton / 2});
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(1, kColumnComPort), L"COM12");
    EXPECT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(GetFocus(), host.List());
    EXPECT_GT(GetScrollPos(host.List(), SB_VERT), 0) << "and the list scrolled";
}

TEST(ComboList, AnOpeningWhileTheCloseIsPendingMakesAndMovesNothing) {
    Host host;
    HWND combo = host.OpenCombo(0);
    ASSERT_NE(combo, nullptr);
    const RECT placed = host.InList(combo);
    SetFocus(host.List()); // ends the edit; the close is posted, not yet processed
    ASSERT_TRUE(IsWindow(combo));
    const RECT other = host.CellRect(4, kColumnComPort);
    SendMessageW(host.List(), WM_LBUTTONDOWN, 0, MAKELPARAM(other.left + 5, other.top + 3));
    EXPECT_EQ(host.Combo(), combo);
    EXPECT_EQ(host.InList(combo).top, placed.top);
    EXPECT_EQ(CComboListCtrl::SharedCombo()->Row(), 4) << "only re-prepared";
    ASSERT_TRUE(host.Closed());
}

TEST(ComboList, TheOwnersTextWrittenBackWhileValidatingStays) {
    Host host;
    host.Owner().writeBack = L"COM15"; // as a linked row's port is put back
    ASSERT_NE(host.OpenCombo(0), nullptr);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    ASSERT_TRUE(host.Closed());
    Pump(100ms);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(host.Owner().validations[0].text, L"COM11");
    EXPECT_EQ(host.Cell(0, kColumnComPort), L"COM15");
}

TEST(ComboList, TheListViewsOwnLabelEditingIsRefusedForReadOnlyColumns) {
    Host host;
    SetFocus(host.List());
    EXPECT_EQ(ListView_EditLabel(host.List(), 0), nullptr) << "column 0 is read-only";
    EXPECT_TRUE(host.Owner().labelEditNotifications.empty());

    Host editable({2, 3, 4, 5, 6}, 2);
    SetFocus(editable.List());
    HWND label = ListView_EditLabel(editable.List(), 0);
    ASSERT_NE(label, nullptr);
    SetWindowTextW(label, L"linked");
    SetFocus(GetDlgItem(editable.Dialog(), IDOK)); // ends the label edit
    Pump(100ms);
    EXPECT_EQ(editable.Cell(0, 0), L"linked");
    ASSERT_EQ(editable.Owner().validations.size(), 1u);
    EXPECT_EQ(editable.Owner().validations[0].column, 0);
    EXPECT_TRUE(editable.Owner().labelEditNotifications.empty()) << "reflected, never seen by the owner";
}

TEST(InPlaceEdit, OpensSelectedFiltersTypingAndPasting) {
    Host host({0, 2, 3, 4, 6}, 3); // Name is edited as text
    host.Control().SetValidChars(L"0123456789");
    host.SetCell(1, kColumnName, L"42");
    ClickAt(host.CellCenter(1, kColumnName));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(GetDlgCtrlID(edit), 0);
    DWORD start = 1, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end - start, 2u) << "the whole text is selected";
    EXPECT_EQ(host.InList(edit).left, host.CellRect(1, kColumnName).left);

    for (WORD key : {'7', 'A', '8'})
        PressKey(key);
    EXPECT_EQ(e2e::TextOf(edit), L"78") << "a letter is dropped";
    PressKey(VK_BACK);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    PressKey('X', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"7") << "cut and paste of our own text";
    SetClipboard(L"12a");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"7") << "one bad character refuses the whole paste";
    SetClipboard(L"12");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"712");
    PressKey(VK_RETURN);
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(1, kColumnName), L"712");
    EXPECT_EQ(host.Owner().okPressed, 0);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(host.Owner().validations[0].text, L"712");

    // With no valid set, typing and pasting take anything; Escape restores; a text column opens at any width.
    host.Control().SetValidChars(L"");
    ClickAt(host.CellCenter(0, kColumnName));
    ASSERT_NE(host.Edit(), nullptr);
    SetClipboard(L"x-y z");
    PressKey('A');
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(host.Edit()), L"ax-y z") << "paste is allowed when typing is";
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(0, kColumnName), L"Device 0");
    EXPECT_EQ(host.Owner().validations.back().text, L"Device 0");
    EXPECT_EQ(host.Owner().cancelPressed, 0);
    ListView_SetColumnWidth(host.List(), kColumnName, 4);
    const RECT narrow = host.CellRect(2, kColumnName);
    ClickAt(host.ToScreen({narrow.left + 2, (narrow.top + narrow.bottom) / 2}));
    EXPECT_NE(host.Edit(), nullptr);
}

TEST(ComboList, DeletingAListControlDeletesTheSharedEditorsAndTheirOpenWindows) {
    {
        Host host;
        ASSERT_NE(host.OpenCombo(0), nullptr);
        SetFocus(host.List());
        ASSERT_TRUE(host.Closed());
        ASSERT_NE(CComboListCtrl::SharedCombo(), nullptr) << "the object outlives its window";
    }
    EXPECT_EQ(CComboListCtrl::SharedCombo(), nullptr);

    // A list control deleted while its text box is open: the window goes with the object, and no end
    // of edit reaches a list that has no control behind it any more.
    Host host({0, 2, 3, 4, 6}, 2);
    auto second = std::make_unique<CComboListCtrl>();
    HWND other = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS, 0, 0, 10,
                                 10, host.Dialog(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(second->Subclass(other));
    ClickAt(host.CellCenter(0, kColumnName));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    second.reset();
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(CComboListCtrl::SharedEdit(), nullptr);
    Pump(100ms);
    EXPECT_TRUE(host.Owner().validations.empty());
    EXPECT_EQ(host.Cell(0, kColumnName), L"Device 0");
    DestroyWindow(other);
}
