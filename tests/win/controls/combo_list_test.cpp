// The combo list and its in-place editors in a dialog shaped like the main one, driven with real mouse and
// keys. Its loop runs the dialog manager as the program's does, so Enter and Escape would press Exit and
// Cancel if the editors let them through. Geometry and filters are proven natively, the list part in e2e.

#include "controls/CComboListCtrl.h"
#include "framework/ListViewText.h"
#include "framework/WindowMessages.h"
#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

using namespace kavrel;
using namespace std::chrono_literals;

namespace {

constexpr int kHostDialog = 300, kHostList = 1003; // as in host_dialog.rc
constexpr UINT kRunHere = WM_APP + 1;              // runs the std::function<void()> at lparam

// What reached the dialog window; a WM_COMBOLIST_VALIDATE as the list's id, row, column, length and text,
// and the cell's text when told.
using Told = std::tuple<WPARAM, int, int, int, std::wstring, std::wstring>;
struct Record {
    int askedColumn = -1, okPressed = 0;
    std::vector<Told> told;
};

// The dialog window, on a thread of its own as the program runs apart from the driver: hands out COM10 to
// COM30 for every drop-down and counts presses of Exit. The main dialog's columns, COM Port the drop-down,
// readOnly as given; rows COM10 "Device 0", COM11 "Device 1", ...
class Host : public win::Window {
public:
    explicit Host(std::vector<int> readOnly = {0, 2, 3, 4, 5, 6}, int rows = 12)
        : thread_([this, readOnly, rows] { Run(readOnly, rows); }) {
        e2e::WaitUntil([&] { return ready_ && GetForegroundWindow() == Handle(); }, 5s);
    }
    ~Host() override {
        OnHost([] { PostQuitMessage(0); });
        thread_.join();
    }

    // On the host's thread, which owns the windows and the list control.
    void OnHost(const std::function<void()>& work) const {
        SendMessageW(Handle(), kRunHere, 0, reinterpret_cast<LPARAM>(&work));
    }
    Record Owner() const {
        Record copy;
        OnHost([&] { copy = record_; });
        return copy;
    }
    HWND List() const { return GetDlgItem(Handle(), kHostList); }
    CComboListCtrl& Control() { return list_; }
    std::wstring Cell(int row, int column) const { return win::ListViewItemText(List(), row, column); }
    void SetCell(int row, int column, const std::wstring& text) const {
        ListView_SetItemText(List(), row, column, const_cast<wchar_t*>(text.c_str()));
    }
    RECT CellRect(int row, int column) const { // on the screen, column 0 the whole row
        RECT rect{};
        ListView_GetSubItemRect(List(), row, column, LVIR_BOUNDS, &rect);
        MapWindowPoints(List(), nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    POINT CellCenter(int row, int column) const { return e2e::CenterOf(CellRect(row, column)); }
    HWND Combo() const { return FindWindowExW(List(), nullptr, L"ComboBox", nullptr); }
    HWND Edit() const { return FindWindowExW(List(), nullptr, L"Edit", nullptr); }
    bool Closed() const {
        return e2e::WaitUntil([&] { return Combo() == nullptr && Edit() == nullptr; }, 3s);
    }

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        result = 0;
        if (message == kRunHere) {
            (*reinterpret_cast<const std::function<void()>*>(lparam))();
        } else if (message == WM_COMBOLIST_GETITEMS) {
            record_.askedColumn = static_cast<int>(wparam);
            for (int i = 10; i <= 30; ++i)
                reinterpret_cast<std::vector<std::wstring>*>(lparam)->push_back(L"COM" + std::to_wstring(i));
        } else if (message == WM_COMBOLIST_VALIDATE) {
            const auto& info = *reinterpret_cast<const NMLVDISPINFOW*>(lparam);
            const LVITEMW& item = info.item;
            record_.told.emplace_back(wparam, item.iItem, item.iSubItem, item.cchTextMax, item.pszText,
                                      win::ListViewItemText(info.hdr.hwndFrom, item.iItem, item.iSubItem));
        } else if (message == WM_COMMAND && wparam == IDOK) {
            ++record_.okPressed;
        } else {
            return false;
        }
        return true;
    }

private:
    void Run(const std::vector<int>& readOnly, int rows) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        Subclass(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kHostDialog), nullptr, nullptr, 0));
        list_.Subclass(List());
        ListView_SetExtendedListViewStyleEx(List(), 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_SUBITEM;
        for (int width : {35, 60, 100, 60, 120, 130, 100}) {
            column.cx = width;
            ListView_InsertColumn(List(), column.iSubItem++, &column);
        }
        for (int readOnlyColumn : readOnly)
            list_.AddReadOnlyColumn(readOnlyColumn);
        list_.AddComboColumn(kColumnComPort);
        for (LVITEMW item{}; item.iItem < rows; ++item.iItem) {
            ListView_InsertItem(List(), &item);
            SetCell(item.iItem, kColumnComPort, L"COM" + std::to_wstring(10 + item.iItem));
            SetCell(item.iItem, kColumnName, L"Device " + std::to_wstring(item.iItem));
        }
        ready_ = true;
        MSG message;
        while (Handle() != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0)
            if (!IsDialogMessageW(Handle(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        DestroyWindow(Handle());
    }

    Record record_;
    CComboListCtrl list_;
    std::atomic<bool> ready_ = false;
    std::thread thread_;
};

// The driver's real input, then a moment for the host's thread to take it in.
void ClickAt(POINT screen, WORD modifier = 0) {
    modifier != 0 ? e2e::ClickWith(modifier, screen) : e2e::ClickAt(screen);
    std::this_thread::sleep_for(150ms);
}

void Press(std::initializer_list<WORD> chord) {
    e2e::PressKeys(chord);
    std::this_thread::sleep_for(150ms);
}

void SetClipboard(const wchar_t* text) { // by an edit control's own copy, as Unicode text
    HWND edit = CreateWindowExW(0, L"Edit", text, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_COPY, 0, 0);
    DestroyWindow(edit);
}

} // namespace

TEST(ComboList, TheDropDownOpensOverTheCellEscapeRestoresAndEnterCommitsWithoutPressingTheButtons) {
    Host host;
    host.SetCell(2, kColumnComPort, L"COM2"); // begins no item exactly, so COM20 is the first that begins with it
    using Case = std::tuple<WORD, int, std::wstring, std::wstring>; // key, row, preselected, kept
    for (auto [key, row, preselected, kept] :
         {Case{VK_ESCAPE, 2, L"COM20", L"COM2"}, {VK_RETURN, 3, L"COM13", L"COM14"}}) {
        ClickAt(host.CellCenter(row, kColumnComPort));
        HWND combo = host.Combo();
        ASSERT_NE(combo, nullptr) << "no drop-down over the cell";
        const RECT cell = host.CellRect(row, kColumnComPort);
        RECT placed{};
        GetWindowRect(combo, &placed);
        EXPECT_EQ((std::tuple{placed.left, placed.top, placed.right}), (std::tuple{cell.left, cell.top, cell.right}));
        EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 21);
        EXPECT_EQ(e2e::TextOf(combo), preselected);
        EXPECT_EQ(SendMessageW(combo, WM_GETFONT, 0, 0), SendMessageW(host.List(), WM_GETFONT, 0, 0));
        EXPECT_EQ(host.Control().Header(), ListView_GetHeader(host.List())) << "the editor is no header";
        Press({VK_DOWN});
        Press({key});
        ASSERT_TRUE(host.Closed());
        EXPECT_EQ(host.Cell(row, kColumnComPort), kept);
    }
    const Record owner = host.Owner();
    EXPECT_EQ(owner.told, (std::vector<Told>{{kHostList, 2, kColumnComPort, 4, L"COM2", L"COM2"},
                                             {kHostList, 3, kColumnComPort, 5, L"COM14", L"COM14"}}))
        << "told of a cancelled edit too, once the cell holds the text";
    EXPECT_EQ((std::tuple{owner.askedColumn, owner.okPressed}), (std::tuple{kColumnComPort, 0}));
    EXPECT_EQ(e2e::FocusOf(host.Handle()), host.List());
    Press({VK_RETURN}); // with the focus back on the list, the keys are the dialog's again
    EXPECT_EQ(host.Owner().okPressed, 1);
}

TEST(ComboList, ALabelEditCancelledKeepsTheCellAndClicksBesideTheCellsOrWithShiftOrCtrlOpenNothing) {
    Host host({2, 3, 4, 5, 6}, 3); // the list view's own label editor for column 0
    host.SetCell(0, 0, L"link");
    ClickAt(host.CellCenter(2, kColumnStatus)); // the list takes the focus
    HWND label = ListView_EditLabel(host.List(), 0);
    ASSERT_NE(label, nullptr);
    SetWindowTextW(label, L"changed");
    Press({VK_ESCAPE});
    ASSERT_FALSE(IsWindow(label));
    EXPECT_EQ(host.Cell(0, 0), L"link");
    EXPECT_TRUE(host.Owner().told.empty());
    host.OnHost([&] { host.Control().AddReadOnlyColumn(0); });
    EXPECT_EQ(ListView_EditLabel(host.List(), 0), nullptr);

    ClickAt(host.CellCenter(1, kColumnMacAddress));
    ClickAt(host.CellCenter(2, kColumnComPort), VK_SHIFT);
    ClickAt(host.CellCenter(0, kColumnComPort), VK_CONTROL);
    EXPECT_EQ(ListView_GetSelectedCount(host.List()), 3u) << "such clicks select";
    ClickAt(host.CellCenter(0, kColumnComPort), VK_SHIFT); // on the focused row's COM Port
    EXPECT_EQ(host.Owner().askedColumn, -1) << "and open nothing";

    HWND exitButton = GetDlgItem(host.Handle(), IDOK);
    host.OnHost([&] { SetFocus(exitButton); });
    ListView_SetColumnWidth(host.List(), kColumnName, 40); // room right of the last column
    const RECT last = host.CellRect(2, kColumnStatus);
    for (POINT beside : {POINT{last.left + 5, last.bottom + 20}, POINT{last.right + 10, last.top + 3}}) {
        ClickAt(beside);
        EXPECT_EQ(e2e::FocusOf(host.Handle()), exitButton);
        EXPECT_EQ(ListView_GetSelectedCount(host.List()), 1u);
    }
}

TEST(InPlaceEdit, FiltersTypingAndTheUnicodePasteCommitsOnScrollingAndEscapeRestores) {
    Host host({0, 2, 3, 4, 6}); // Name is edited as text; 12 rows make a vertical scroll bar
    host.OnHost([&] { host.Control().SetValidChars(L"0123456789\u0142"); });
    host.SetCell(1, kColumnName, L"42");
    ClickAt(host.CellCenter(1, kColumnName));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    Press({'7'});
    Press({'A'});
    EXPECT_EQ(e2e::TextOf(edit), L"7") << "the text selected at the start, a letter dropped";
    for (const wchar_t* pasted : {L"1a", L"\u01422"}) { // the ANSI code page lacks the letter: checked as pasted
        SetClipboard(pasted);
        Press({VK_CONTROL, 'V'});
    }
    EXPECT_EQ(e2e::TextOf(edit), L"7\u01422") << "one bad character refuses the whole paste";
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof(bar);
    ASSERT_TRUE(GetScrollBarInfo(host.List(), OBJID_VSCROLL, &bar));
    ClickAt({(bar.rcScrollBar.left + bar.rcScrollBar.right) / 2, bar.rcScrollBar.bottom - bar.dxyLineButton / 2});
    ASSERT_TRUE(host.Closed()) << "scrolling ends the edit";
    EXPECT_EQ(host.Cell(1, kColumnName), L"7\u01422");

    host.OnHost([&] { host.Control().SetValidChars(L""); });
    ClickAt(host.CellCenter(3, kColumnName));
    ASSERT_NE(host.Edit(), nullptr);
    SetClipboard(L"x-y z");
    Press({VK_CONTROL, 'V'});
    EXPECT_EQ(e2e::TextOf(host.Edit()), L"x-y z") << "with no valid set a paste goes in as typing does";
    Press({VK_ESCAPE});
    ASSERT_TRUE(host.Closed());
    EXPECT_EQ(host.Cell(3, kColumnName), L"Device 3");
}
