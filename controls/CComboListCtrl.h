#pragma once
// A report-view list view whose cells are edited in place: per column by a drop-down whose items the
// owner supplies (WM_COMBOLIST_GETITEMS), not at all, or by a text box. The owner hears of every
// finished edit (WM_COMBOLIST_VALIDATE) and never sees the list view's own label-editing notifications.

#include "controls/CInPlaceCombo.h"
#include "controls/CInPlaceEdit.h"
#include "controls/column_kinds.h"
#include "framework/MessageMap.h"
#include "framework/Window.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrel {

class CComboListCtrl : public win::MappedWindow<CComboListCtrl, win::Window> {
public:
    static std::span<const win::MessageEntry<CComboListCtrl>> MessageMap();
    CComboListCtrl() = default;
    // Deletes the shared editors, with any window of theirs still open.
    ~CComboListCtrl() override;

    void AddComboColumn(int column) { columns_.AddComboColumn(column); }
    void AddReadOnlyColumn(int column) { columns_.AddReadOnlyColumn(column); }
    // The characters the text box accepts; empty (the default) accepts all.
    void SetValidChars(std::wstring validChars) { validChars_ = std::move(validChars); }

    // The list view's header: its child with ID 0 that is a header control, never an open editor.
    HWND Header() const noexcept;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    bool ProcessReflectedMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    struct Cell {
        int row;
        int column;
    };

    LRESULT OnHScroll(WPARAM wparam, LPARAM lparam);
    LRESULT OnVScroll(WPARAM wparam, LPARAM lparam);
    LRESULT OnLButtonDown(WPARAM wparam, LPARAM lparam);
    LRESULT OnEndLabelEdit(const NMLVDISPINFOW& info);
    LRESULT OnBeginLabelEdit(const NMLVDISPINFOW& info) const;

    std::optional<Cell> HitTestCell(POINT point) const;
    CInPlaceCombo* ShowInPlaceCombo(int row, int column, std::vector<std::wstring> items, const std::wstring& text);
    static void FitListPart(HWND combo, const RECT& extent);
    CInPlaceEdit* ShowInPlaceEdit(int row, int column, const std::wstring& text);
    // Scrolls the list horizontally so the cell is in view, then gives its rectangle in client coordinates.
    RECT CellRect(int row, int column);
    int ColumnCount() const noexcept;
    std::vector<int> ColumnWidths() const;
    std::wstring CellText(int row, int column) const;

    ColumnKinds columns_;
    std::wstring validChars_;
    DWORD editStyle_ = ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
    DWORD comboStyle_ = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL |
                        CBS_OEMCONVERT | CBS_DISABLENOSCROLL;

    inline static std::unique_ptr<CInPlaceCombo> s_combo;
    inline static std::unique_ptr<CInPlaceEdit> s_edit;
};

} // namespace kavrel
