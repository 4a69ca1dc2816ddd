#include "controls/CComboListCtrl.h"

#include "controls/cell_geometry.h"
#include "framework/ListViewText.h"
#include "framework/MessageMap.h"
#include "framework/WindowMessages.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace kavrel {

std::span<const win::MessageEntry<CComboListCtrl>> CComboListCtrl::MessageMap() {
    static constexpr win::MessageEntry<CComboListCtrl> kEntries[] = {
        win::OnMessage<CComboListCtrl>(WM_HSCROLL, &CComboListCtrl::OnHScroll),
        win::OnMessage<CComboListCtrl>(WM_VSCROLL, &CComboListCtrl::OnVScroll),
        win::OnMessage<CComboListCtrl>(WM_LBUTTONDOWN, &CComboListCtrl::OnLButtonDown),
    };
    return kEntries;
}

CComboListCtrl::~CComboListCtrl() {
    s_combo.reset();
    s_edit.reset();
}

bool CComboListCtrl::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // An editor's end of edit comes as the list's own notification, sent to the list itself.
    if (message == WM_NOTIFY && lparam != 0) {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->hwndFrom == Handle() && header->code == LVN_ENDLABELEDITW) {
            result = OnEndLabelEdit(*reinterpret_cast<const NMLVDISPINFOW*>(lparam));
            return true;
        }
    }
    return MappedWindow::ProcessMessage(message, wparam, lparam, result);
}

bool CComboListCtrl::ProcessReflectedMessage(UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
    if (message != WM_NOTIFY)
        return false;
    const auto& info = *reinterpret_cast<const NMLVDISPINFOW*>(lparam);
    switch (info.hdr.code) {
    case LVN_ENDLABELEDITW:
        result = OnEndLabelEdit(info);
        return true;
    case LVN_BEGINLABELEDITW:
        result = OnBeginLabelEdit(info);
        return true;
    default:
        return false;
    }
}

HWND CComboListCtrl::Header() const noexcept {
    for (HWND child = GetWindow(Handle(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        if (GetDlgCtrlID(child) == 0 && GetClassNameW(child, name, 32) > 0 && lstrcmpiW(name, WC_HEADERW) == 0)
            return child;
    }
    return nullptr;
}

LRESULT CComboListCtrl::OnHScroll(WPARAM, LPARAM) {
    // An open editor commits when it loses the focus, so it never floats over a scrolled cell.
    if (GetFocus() != Handle())
        SetFocus(Handle());
    return Default();
}

LRESULT CComboListCtrl::OnVScroll(WPARAM wparam, LPARAM lparam) {
    return OnHScroll(wparam, lparam);
}

LRESULT CComboListCtrl::OnLButtonDown(WPARAM, LPARAM lparam) {
    const auto cell = HitTestCell({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
    if (!cell)
        return 0; // a click beside the cells changes neither selection nor focus
    Default();
    if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0)
        return 0; // such clicks only select
    const std::wstring text = CellText(cell->row, cell->column);
    const bool focused = ListView_GetItemState(Handle(), cell->row, LVIS_FOCUSED) & LVIS_FOCUSED;
    if (!focused || !(GetWindowLongW(Handle(), GWL_STYLE) & LVS_EDITLABELS))
        return 0;
    switch (columns_.EditorFor(cell->column)) {
    case CellEditor::DropDown: {
        std::vector<std::wstring> items;
        PointerMessage::Send(GetParent(Handle()), WM_COMBOLIST_GETITEMS, static_cast<WPARAM>(cell->column), &items);
        if (CInPlaceCombo* combo = ShowInPlaceCombo(cell->row, cell->column, std::move(items), text))
            SendMessageW(combo->Handle(), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(text.c_str()));
        break;
    }
    case CellEditor::Text:
        ShowInPlaceEdit(cell->row, cell->column, text);
        break;
    case CellEditor::None:
        break;
    }
    return 0;
}

LRESULT CComboListCtrl::OnEndLabelEdit(const NMLVDISPINFOW& info) {
    // The list view's own label editor reports a cancelled edit with no text: the cell keeps its own.
    if (info.item.pszText == nullptr)
        return 0;
    ListView_SetItemText(Handle(), info.item.iItem, info.item.iSubItem, info.item.pszText);
    PointerMessage::Send(GetParent(Handle()), WM_COMBOLIST_VALIDATE, static_cast<WPARAM>(GetDlgCtrlID(Handle())),
                         &info);
    return 0;
}

LRESULT CComboListCtrl::OnBeginLabelEdit(const NMLVDISPINFOW& info) const {
    return columns_.IsReadOnly(info.item.iSubItem) ? 1 : 0;
}

std::optional<CComboListCtrl::Cell> CComboListCtrl::HitTestCell(POINT point) const {
    LVHITTESTINFO hit{};
    hit.pt = point;
    const int row = ListView_HitTest(Handle(), &hit);
    if ((GetWindowLongW(Handle(), GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT || row < 0)
        return std::nullopt;
    RECT bounds{};
    if (!ListView_GetItemRect(Handle(), row, &bounds, LVIR_BOUNDS) || !PtInRect(&bounds, point))
        return std::nullopt;
    const auto widths = ColumnWidths();
    const auto column = ColumnAt(bounds.left, widths, point.x);
    if (!column)
        return std::nullopt;
    return Cell{row, *column};
}

CInPlaceCombo* CComboListCtrl::ShowInPlaceCombo(int row, int column, std::vector<std::wstring> items,
                                                const std::wstring& text) {
    if (!ListView_EnsureVisible(Handle(), row, TRUE))
        return nullptr;
    if (column >= ColumnCount() || !DropDownFits(ListView_GetColumnWidth(Handle(), column)))
        return nullptr;
    RECT rect = CellRect(row, column);
    // The rectangle is the combo box's whole extent, its list part included.
    rect.bottom = DropDownBottom(rect.top, rect.bottom, items.size());

    if (!s_combo)
        s_combo = std::make_unique<CInPlaceCombo>();
    s_combo->Prepare(row, column, text);
    s_combo->SetItems(std::move(items));
    // A window still open is waiting for its posted close: it is neither made again nor moved.
    if (s_combo->Handle() == nullptr) {
        if (!s_combo->Create(WC_COMBOBOXW, comboStyle_, rect, Handle()))
            return nullptr;
        FitListPart(s_combo->Handle(), rect);
    }
    SendMessageW(s_combo->Handle(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    return s_combo.get();
}

// Common controls 6 size a combo box's list part by a count of items, not by the height it was created
// with: give them the count that the created extent holds, so both versions drop down alike.
void CComboListCtrl::FitListPart(HWND combo, const RECT& extent) {
    RECT field{};
    GetWindowRect(combo, &field);
    const auto itemHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    if (itemHeight <= 0)
        return;
    const int listHeight = (extent.bottom - extent.top) - (field.bottom - field.top);
    SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(std::max(1, listHeight / itemHeight)), 0);
}

CInPlaceEdit* CComboListCtrl::ShowInPlaceEdit(int row, int column, const std::wstring& text) {
    if (!s_edit)
        s_edit = std::make_unique<CInPlaceEdit>();
    const RECT rect = CellRect(row, column);
    s_edit->SetValidChars(validChars_);
    s_edit->Prepare(row, column, text);
    if (s_edit->Handle() == nullptr && !s_edit->Create(WC_EDITW, WS_CHILD | editStyle_, rect, Handle()))
        return nullptr;
    return s_edit.get();
}

RECT CComboListCtrl::CellRect(int row, int column) {
    RECT bounds{};
    ListView_GetItemRect(Handle(), row, &bounds, LVIR_BOUNDS);
    RECT client{};
    GetClientRect(Handle(), &client);
    const auto widths = ColumnWidths();
    const int width = ListView_GetColumnWidth(Handle(), column);
    const CellPlacement place = PlaceCell(bounds.left + ColumnOffset(widths, column), width, client.left, client.right);
    ListView_Scroll(Handle(), place.scrollBy, 0);
    return {place.left, bounds.top, place.right, bounds.bottom};
}

int CComboListCtrl::ColumnCount() const noexcept {
    HWND header = Header();
    return header ? Header_GetItemCount(header) : 0;
}

std::vector<int> CComboListCtrl::ColumnWidths() const {
    std::vector<int> widths;
    const int count = ColumnCount();
    for (int column = 0; column < count; ++column)
        widths.push_back(ListView_GetColumnWidth(Handle(), column));
    return widths;
}

std::wstring CComboListCtrl::CellText(int row, int column) const {
    return win::ListViewItemText(Handle(), row, column);
}

} // namespace kavrel
