#pragma once
// The text box laid over one cell of a combo list, with an optional set of valid characters; shared by
// every cell, its window lives for one edit.

#include "controls/InPlaceEditor.h"
#include "framework/MessageMap.h"

#include <span>
#include <string>

namespace kavrel {

class CInPlaceEdit : public win::MappedWindow<CInPlaceEdit, InPlaceEditor> {
public:
    static std::span<const win::MessageEntry<CInPlaceEdit>> MessageMap();
    CInPlaceEdit() = default;

    // Empty lets every character through.
    void SetValidChars(std::wstring validChars) { validChars_ = std::move(validChars); }
    const std::wstring& ValidChars() const noexcept { return validChars_; }

protected:
private:
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
