#pragma once
// The text box laid over one cell of a combo list, with an optional set of valid characters; shared by
// every cell, its window lives for one edit.

#include "controls/InPlaceEditor.h"

#include <string>

namespace kavrel {

class CInPlaceEdit : public InPlaceEditor {
public:
    CInPlaceEdit() = default;

    // Empty lets every character through.
    void SetValidChars(std::wstring validChars) { validChars_ = std::move(validChars); }
    const std::wstring& ValidChars() const noexcept { return validChars_; }

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    friend struct CInPlaceEditMap;

    LRESULT OnKillFocus(WPARAM wparam, LPARAM lparam);
    LRESULT OnChar(WPARAM wparam, LPARAM lparam);
    LRESULT OnPaste(WPARAM wparam, LPARAM lparam);
    LRESULT OnCreate(WPARAM wparam, LPARAM lparam);
    LRESULT OnKeyDown(WPARAM wparam, LPARAM lparam);
    LRESULT OnGetDlgCode(WPARAM wparam, LPARAM lparam);

    std::wstring WindowText() const;
    std::wstring ClipboardText() const;

    std::wstring validChars_;
};

} // namespace kavrel
