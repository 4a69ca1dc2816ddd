// The combo list and its in-place editors in a dialog like the main one, with real mouse and keys.

#include "tests/win/controls/host.h"
#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>

using namespace kavrel;
using namespace kavrel::test;

namespace {

constexpr int kComPort = 1;

int RowHeight(const Host& host) {
    const RECT cell = host.CellRect(0, 0);
    return cell.bottom - cell.top;
}

// The rectangles combo boxes are created with on this thread: their whole extent, list part included.
class ComboCreations {
public:
    ComboCreations() : hook_(SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId())) { current_ = this; }
    ~ComboCreations() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    ComboCreations(const ComboCreations&) = delete;
    ComboCreations& operator=(const ComboCreations&) = delete;

    std::vector<RECT> rects;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_CREATEWND && current_ != nullptr) {
            const CREATESTRUCTW& create = *reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs;
            wchar_t name[32] = {};
            GetClassNameW(reinterpret_cast<HWND>(wparam), name, 32);
            if (lstrcmpiW(name, L"ComboBox") == 0)
                current_->rects.push_back({create.x, create.y, create.x + create.cx, create.y + create.cy});
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static inline ComboCreations* current_ = nullptr;
    HHOOK hook_;
};

int Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

std::wstring SelectedItem(HWND combo) {
    const auto index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return L"<none>";
    wchar_t text[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

// Opens the drop-down of a COM Port cell with a click and waits for it. Clicks alternate left and right
// of the centre, so that two openings in quick succession make no double-click.
HWND OpenCombo(Host& host, int row) {
    static int openings = 0;
    POINT at = host.CellCenter(row, kComPort);
    at.x += ++openings % 2 ? -8 : 8;
    ClickAt(at);
    PumpUntil([&] { return host.Combo() != nullptr; });
    return host.Combo();
}

bool Closed(Host& host) {
    return PumpUntil([&] { return host.Combo() == nullptr && host.Edit() == nullptr; });
}

} // namespace

TEST(ComboList, ClickOnComPortOpensTheDropDownOverTheCellAndAPickIsWrittenBack) {
    Host host;
    host.SetCell(2, kComPort, L"COM2"); // begins no item exactly, so COM20 is the first that begins with it
    ComboCreations created;
    HWND combo = OpenCombo(host, 2);
    ASSERT_NE(combo, nullptr) << "no drop-down over the cell";
    EXPECT_EQ(host.FocusedRow(), 2);
    EXPECT_EQ(GetFocus(), combo);
    EXPECT_EQ(GetDlgCtrlID(combo), 0);
    EXPECT_EQ(host.Owner().requestedColumns, std::vector<int>{kComPort});

    const RECT cell = host.CellRect(2, kComPort);
    const RECT placed = host.InList(combo);
    EXPECT_EQ(placed.left, cell.left);
    EXPECT_EQ(placed.top, cell.top);
    EXPECT_EQ(placed.right, cell.right);
    ASSERT_EQ(created.rects.size(), 1u);
    EXPECT_EQ(created.rects[0].left, cell.left);
    EXPECT_EQ(created.rects[0].top, cell.top);
    EXPECT_EQ(created.rects[0].right, cell.right);
    EXPECT_EQ(Height(created.rects[0]), RowHeight(host) * 12) << "the cell and 11 rows for 21 items";
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
    ClickAt({(item.left + item.right) / 2, (item.top + item.bottom) / 2});

    ASSERT_TRUE(Closed(host)) << "closing the list part ends the edit";
    EXPECT_EQ(host.Cell(2, kComPort), picked);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    const Validation& told = host.Owner().validations[0];
    EXPECT_EQ(told.id, 1003u);
    EXPECT_EQ(told.row, 2);
    EXPECT_EQ(told.column, kComPort);
    EXPECT_EQ(told.text, picked);
    EXPECT_EQ(told.length, 5);
    EXPECT_EQ(told.cellText, picked) << "the cell changed before the owner was told";
    EXPECT_EQ(GetFocus(), host.List());
    EXPECT_TRUE(host.Owner().labelEditNotifications.empty()) << "the end of edit is the list's own business";
}

TEST(ComboList, EscapeRestoresTheTextAndEnterCommitsWithoutPressingTheButtons) {
    Host host;
    HWND combo = OpenCombo(host, 0);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(SelectedItem(combo), L"COM10");
    PressKey(VK_DOWN);
    EXPECT_EQ(SelectedItem(combo), L"COM11");
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(0, kComPort), L"COM10");
    ASSERT_EQ(host.Owner().validations.size(), 1u) << "the owner is told of a cancelled edit too";
    EXPECT_EQ(host.Owner().validations[0].text, L"COM10");

    // Escape with the list part open also restores.
    combo = OpenCombo(host, 0);
    ASSERT_NE(combo, nullptr);
    PressKey(VK_F4);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }));
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(0, kComPort), L"COM10");

    combo = OpenCombo(host, 0);
    ASSERT_NE(combo, nullptr);
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(0, kComPort), L"COM12");
    EXPECT_EQ(host.Owner().validations.size(), 3u);
    EXPECT_EQ(host.Owner().okPressed, 0) << "Enter must not press the default button";
    EXPECT_EQ(host.Owner().cancelPressed, 0) << "Escape must not press Cancel";
    EXPECT_EQ(GetFocus(), host.List());

    // With the focus back on the list, the keys are the dialog's again.
    PressKey(VK_RETURN);
    EXPECT_EQ(host.Owner().okPressed, 1);
}

TEST(ComboList, ClicksBesideTheCellsAndModifiedClicksOpenNothing) {
    Host host(std::vector<int>{0, 2, 3, 4, 5, 6}, std::vector<int>{1}, 3);
    ClickAt(host.CellCenter(1, 4)); // a read-only cell: selects and focuses the row only
    EXPECT_EQ(host.FocusedRow(), 1);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.Edit(), nullptr);
    HWND exitButton = GetDlgItem(host.Dialog(), IDOK);
    SetFocus(exitButton);

    const RECT last = host.CellRect(2, 6);
    ClickAt(host.ToScreen({last.left + 5, last.bottom + 20})); // below the last row
    EXPECT_EQ(GetFocus(), exitButton);
    EXPECT_EQ(host.SelectedCount(), 1);
    EXPECT_TRUE(host.Selected(1));

    ListView_SetColumnWidth(host.List(), 5, 40); // room right of the last column
    const RECT lastColumn = host.CellRect(0, 6);
    ClickAt(host.ToScreen({lastColumn.right + 10, (lastColumn.top + lastColumn.bottom) / 2}));
    EXPECT_EQ(GetFocus(), exitButton);
    EXPECT_EQ(host.SelectedCount(), 1);
    EXPECT_TRUE(host.Selected(1));

    // Shift and Ctrl clicks select, even on the focused row's COM Port, and open nothing.
    ClickAt(host.CellCenter(2, kComPort), VK_SHIFT);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.SelectedCount(), 2);
    ClickAt(host.CellCenter(0, kComPort), VK_CONTROL);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.SelectedCount(), 3);
    EXPECT_EQ(host.FocusedRow(), 0);
    ClickAt(host.CellCenter(0, kComPort), VK_SHIFT);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_TRUE(host.Owner().requestedColumns.empty());

    // The Link box toggles and opens nothing.
    RECT box{};
    ListView_GetItemRect(host.List(), 1, &box, LVIR_ICON);
    const RECT link = host.CellRect(1, 0);
    ClickAt(host.ToScreen({link.left + 8, (link.top + link.bottom) / 2}));
    EXPECT_EQ(ListView_GetCheckState(host.List(), 1), TRUE);
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.Edit(), nullptr);
}

TEST(ComboList, TheBoundaryOfColumnsOneAndTwoBelongsToOne) {
    Host host;
    const RECT comPort = host.CellRect(1, kComPort);
    const int y = (comPort.top + comPort.bottom) / 2;
    ClickAt(host.ToScreen({comPort.right + 1, y})); // inside column 2
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.FocusedRow(), 1);
    Pump(std::chrono::milliseconds(GetDoubleClickTime() + 100)); // a second click, not a double-click
    ClickAt(host.ToScreen({comPort.right, y}));                  // on the boundary
    ASSERT_TRUE(PumpUntil([&] { return host.Combo() != nullptr; }));
    EXPECT_EQ(CComboListCtrl::SharedCombo()->Column(), kComPort);
}

TEST(ComboList, DropDownExtentFollowsTheItemCount) {
    Host host;
    const int h = RowHeight(host);
    ComboCreations created;
    for (auto [count, rows] : {std::pair{0, 10}, {9, 19}, {10, 11}, {25, 11}}) {
        host.Owner().items.clear();
        for (int i = 0; i < count; ++i)
            host.Owner().items.push_back(L"COM" + std::to_wstring(40 + i));
        HWND combo = OpenCombo(host, 3);
        ASSERT_NE(combo, nullptr) << count;
        ASSERT_FALSE(created.rects.empty());
        EXPECT_EQ(Height(created.rects.back()), h * (rows + 1)) << count << " items";
        EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), count);
        CInPlaceCombo* shared = CComboListCtrl::SharedCombo();
        SetFocus(host.List());
        ASSERT_TRUE(Closed(host));
        EXPECT_EQ(CComboListCtrl::SharedCombo(), shared) << "one drop-down object serves every opening";
    }
    // No items: leaving it writes an empty text, since nothing was selected.
    EXPECT_EQ(host.Cell(3, kComPort), L"");
}

TEST(ComboList, ANarrowColumnNeverOpensAndACellOffTheRightEdgeIsScrolledIntoViewFirst) {
    Host host;
    ListView_SetColumnWidth(host.List(), kComPort, 9);
    ClickAt(host.CellCenter(0, kComPort));
    EXPECT_EQ(host.Combo(), nullptr);
    EXPECT_EQ(host.FocusedRow(), 0) << "the list view's own handling still ran";
    ListView_SetColumnWidth(host.List(), kComPort, 10);
    Pump(std::chrono::milliseconds(GetDoubleClickTime() + 100));
    ClickAt(host.CellCenter(0, kComPort));
    ASSERT_TRUE(PumpUntil([&] { return host.Combo() != nullptr; })) << "10 pixels is wide enough";
    SetFocus(host.List());
    ASSERT_TRUE(Closed(host));

    // Column 1 starts in view and ends beyond the right edge.
    ListView_SetColumnWidth(host.List(), kComPort, 60);
    RECT client{};
    GetClientRect(host.List(), &client);
    ListView_SetColumnWidth(host.List(), 0, client.right - 20);
    const RECT before = host.CellRect(1, kComPort);
    ASSERT_GT(before.right, client.right);
    const int scrolled = GetScrollPos(host.List(), SB_HORZ);
    ClickAt(host.ToScreen({before.left + 10, (before.top + before.bottom) / 2}));
    HWND combo = host.Combo();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(GetScrollPos(host.List(), SB_HORZ) - scrolled, before.right - client.right);
    const RECT after = host.CellRect(1, kComPort);
    EXPECT_EQ(after.right, client.right);
    EXPECT_EQ(host.InList(combo).left, after.left);
    EXPECT_EQ(host.InList(combo).right, after.right);
    e2e::SaveScreenshot("combo-list-scrolled");
}

TEST(ComboList, ScrollingWhileAnEditorIsOpenCommitsIt) {
    Host host;
    HWND combo = OpenCombo(host, 1);
    ASSERT_NE(combo, nullptr);
    PressKey(VK_DOWN); // COM11 -> COM12
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof(bar);
    ASSERT_TRUE(GetScrollBarInfo(host.List(), OBJID_VSCROLL, &bar));
    ASSERT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE) << "12 rows need a vertical scroll bar";
    // The down arrow at the bottom of the bar.
    ClickAt({(bar.rcScrollBar.left + bar.rcScrollBar.right) / 2, bar.rcScrollBar.bottom - bar.dxyLineButton / 2});
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(1, kComPort), L"COM12");
    EXPECT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(GetFocus(), host.List());
    EXPECT_GT(GetScrollPos(host.List(), SB_VERT), 0) << "and the list scrolled";
}

TEST(ComboList, AnOpeningWhileTheCloseIsPendingMakesAndMovesNothing) {
    Host host;
    HWND combo = OpenCombo(host, 0);
    ASSERT_NE(combo, nullptr);
    const RECT placed = host.InList(combo);
    SetFocus(host.List()); // ends the edit; the close is posted, not yet processed
    ASSERT_TRUE(IsWindow(combo));
    const RECT other = host.CellRect(4, kComPort);
    SendMessageW(host.List(), WM_LBUTTONDOWN, 0, MAKELPARAM(other.left + 5, other.top + 3));
    EXPECT_EQ(host.Combo(), combo);
    EXPECT_EQ(host.InList(combo).top, placed.top);
    EXPECT_EQ(CComboListCtrl::SharedCombo()->Row(), 4) << "only re-prepared";
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Combo(), nullptr);
}

TEST(ComboList, TheOwnersTextWrittenBackWhileValidatingStays) {
    Host host;
    host.Owner().writeBack = L"COM15"; // as a linked row's port is put back
    HWND combo = OpenCombo(host, 0);
    ASSERT_NE(combo, nullptr);
    PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    ASSERT_TRUE(Closed(host));
    Pump(100ms);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(host.Owner().validations[0].text, L"COM11");
    EXPECT_EQ(host.Cell(0, kComPort), L"COM15");
}

TEST(ComboList, TheListViewsOwnLabelEditingIsRefusedForReadOnlyColumns) {
    Host host;
    SetFocus(host.List());
    EXPECT_EQ(ListView_EditLabel(host.List(), 0), nullptr) << "column 0 is read-only";
    EXPECT_TRUE(host.Owner().labelEditNotifications.empty());

    Host editable(std::vector<int>{2, 3, 4, 5, 6}, std::vector<int>{1}, 2);
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
    Host host(std::vector<int>{0, 2, 3, 4, 6}, std::vector<int>{1}, 3); // Name is edited as text
    host.Control().SetValidChars(L"0123456789");
    host.SetCell(1, 5, L"42");
    ClickAt(host.CellCenter(1, 5));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_TRUE(IsWindowVisible(edit));
    EXPECT_EQ(GetDlgCtrlID(edit), 0);
    DWORD start = 1, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 2u) << "the whole text is selected";
    const RECT cell = host.CellRect(1, 5);
    EXPECT_EQ(host.InList(edit).left, cell.left);
    EXPECT_EQ(host.InList(edit).top, cell.top);

    TypeText(L"7a8");
    EXPECT_EQ(e2e::TextOf(edit), L"78") << "a letter is dropped";
    PressKey(VK_BACK);
    EXPECT_EQ(e2e::TextOf(edit), L"7");
    PressKey('A', VK_CONTROL); // select all is no exception, but the edit's own key handling still selects
    SendMessageW(edit, EM_SETSEL, 0, -1);
    PressKey('C', VK_CONTROL);
    EXPECT_EQ(ClipboardText(), L"7");
    PressKey('X', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"7");

    SetClipboard(L"12a");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"7") << "one bad character refuses the whole paste";
    SetClipboard(L"12");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"712");

    PressKey(VK_RETURN);
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(1, 5), L"712");
    EXPECT_EQ(host.Owner().okPressed, 0);
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(host.Owner().validations[0].text, L"712");
    EXPECT_EQ(CComboListCtrl::SharedEdit()->ValidChars(), L"0123456789");
}

TEST(InPlaceEdit, EmptyValidSetAcceptsAnythingAndEscapeRestores) {
    Host host(std::vector<int>{0, 2, 3, 4, 6}, std::vector<int>{1}, 3);
    ClickAt(host.CellCenter(0, 5));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    TypeText(L"ab");
    EXPECT_EQ(e2e::TextOf(edit), L"ab");
    SetClipboard(L"x-y z");
    PressKey('V', VK_CONTROL);
    EXPECT_EQ(e2e::TextOf(edit), L"abx-y z") << "paste is allowed when typing is";
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(Closed(host));
    EXPECT_EQ(host.Cell(0, 5), L"Device 0");
    ASSERT_EQ(host.Owner().validations.size(), 1u);
    EXPECT_EQ(host.Owner().validations[0].text, L"Device 0");
    EXPECT_EQ(host.Owner().cancelPressed, 0);

    // A text column opens at any width, with no minimum.
    ListView_SetColumnWidth(host.List(), 5, 4);
    const RECT narrow = host.CellRect(2, 5);
    ClickAt(host.ToScreen({narrow.left + 2, (narrow.top + narrow.bottom) / 2}));
    EXPECT_NE(host.Edit(), nullptr);
}

TEST(ComboList, DeletingAListControlDeletesTheSharedEditorsAndTheirOpenWindows) {
    {
        Host host;
        ASSERT_NE(OpenCombo(host, 0), nullptr);
        SetFocus(host.List());
        ASSERT_TRUE(Closed(host));
        ASSERT_NE(CComboListCtrl::SharedCombo(), nullptr) << "the object outlives its window";
    }
    EXPECT_EQ(CComboListCtrl::SharedCombo(), nullptr);

    // A list control deleted while its text box is open: the window goes with the object, and no end
    // of edit reaches a list that has no control behind it any more.
    Host host(std::vector<int>{0, 2, 3, 4, 6}, std::vector<int>{1}, 2);
    auto second = std::make_unique<CComboListCtrl>();
    HWND other = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS, 0, 0, 10,
                                 10, host.Dialog(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(second->Subclass(other));
    ClickAt(host.CellCenter(0, 5));
    HWND edit = host.Edit();
    ASSERT_NE(edit, nullptr);
    second.reset();
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(CComboListCtrl::SharedEdit(), nullptr);
    Pump(100ms);
    EXPECT_TRUE(host.Owner().validations.empty());
    EXPECT_EQ(host.Cell(0, 5), L"Device 0");
    DestroyWindow(other);
}
