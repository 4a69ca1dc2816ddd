#pragma once
// What the in-place drop-down and text box share: the cell they edit, their creation as a child of the
// list with ID 0, and the end of the edit when they lose the focus.

#include "framework/Window.h"

#include <string>

namespace kavrel {

class InPlaceEditor : public win::Window {
public:
    ~InPlaceEditor() override;

    // Sets the cell for the next edit and clears the cancel flag.
    void Prepare(int row, int column, std::wstring initialText);
    // Creates the window as a child of the list with ID 0; its WM_CREATE already reaches this object.
    bool Create(const wchar_t* className, DWORD style, const RECT& rect, HWND list) noexcept;

    int Row() const noexcept { return row_; }
    int Column() const noexcept { return column_; }
    bool Cancelled() const noexcept { return cancel_; }
    const std::wstring& InitialText() const noexcept { return initialText_; }

protected:
    InPlaceEditor() = default;

    void Cancel() noexcept { cancel_ = true; }
    HWND List() const noexcept { return GetParent(Handle()); }
    void FocusList() const noexcept { SetFocus(List()); }
    void TakeListFont() noexcept;
    // Enter and Escape belong to the editor, not to the dialog's default and cancel buttons.
    LRESULT WantEnterAndEscape(LPARAM lparam) noexcept;

    // After the base handling of WM_KILLFOCUS: tells the list the edit's text (the initial one after
    // Escape) by an end-of-label-edit notification, then closes the window once that is done.
    void EndEdit(std::wstring currentText);

private:
    int row_ = -1;
    int column_ = -1;
    bool cancel_ = false;
    std::wstring initialText_;
};

} // namespace kavrel
