#include "controls/CInPlaceEdit.h"

#include "controls/edit_filter.h"
#include "framework/MessageMap.h"
#include "framework/Scopes.h"

namespace kavrel {

std::span<const win::MessageEntry<CInPlaceEdit>> CInPlaceEdit::MessageMap() {
    static constexpr win::MessageEntry<CInPlaceEdit> kEntries[] = {
        win::OnMessage<CInPlaceEdit>(WM_KILLFOCUS, &CInPlaceEdit::OnKillFocus),
        win::OnMessage<CInPlaceEdit>(WM_CHAR, &CInPlaceEdit::OnChar),
        win::OnMessage<CInPlaceEdit>(WM_PASTE, &CInPlaceEdit::OnPaste),
        win::OnMessage<CInPlaceEdit>(WM_CREATE, &CInPlaceEdit::OnCreate),
        win::OnMessage<CInPlaceEdit>(WM_KEYDOWN, &CInPlaceEdit::OnKeyDown),
        win::OnMessage<CInPlaceEdit>(WM_GETDLGCODE, &CInPlaceEdit::OnGetDlgCode),
    };
    return kEntries;
}

LRESULT CInPlaceEdit::OnKillFocus(WPARAM, LPARAM) {
    Default();
    EndEdit(WindowText());
    return 0;
}

LRESULT CInPlaceEdit::OnChar(WPARAM wparam, LPARAM) {
    const auto c = static_cast<wchar_t>(wparam);
    // The keys themselves were handled on key down; their characters add nothing and must not beep.
    if (c == VK_RETURN || c == VK_ESCAPE)
        return 0;
    if (!AcceptsTypedChar(validChars_, c)) {
        MessageBeep(MB_ICONEXCLAMATION);
        return 0;
    }
    return Default();
}

LRESULT CInPlaceEdit::OnPaste(WPARAM, LPARAM) {
    if (!validChars_.empty() && !AcceptsPastedText(validChars_, ClipboardText()))
        return 0;
    Default();
    return 1;
}

LRESULT CInPlaceEdit::OnCreate(WPARAM, LPARAM) {
    if (Default() == -1)
        return -1;
    TakeListFont();
    ShowWindow(Handle(), SW_SHOW);
    SetWindowTextW(Handle(), InitialText().c_str());
    SendMessageW(Handle(), EM_SETSEL, 0, -1);
    SendMessageW(Handle(), EM_SCROLLCARET, 0, 0);
    SetFocus(Handle());
    return 0;
}

LRESULT CInPlaceEdit::OnKeyDown(WPARAM wparam, LPARAM) {
    if (wparam == VK_ESCAPE || wparam == VK_RETURN) {
        if (wparam == VK_ESCAPE)
            Cancel();
        FocusList();
        return 0;
    }
    return Default();
}

LRESULT CInPlaceEdit::OnGetDlgCode(WPARAM, LPARAM lparam) {
    return WantEnterAndEscape(lparam);
}

std::wstring CInPlaceEdit::WindowText() const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Handle())) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Handle(), text.data(), static_cast<int>(text.size()))));
    return text;
}

// The text a paste would insert: the clipboard's Unicode text, which the system also makes from ANSI
// text, so the check sees exactly what the edit control pastes. Empty when the clipboard is busy.
std::wstring CInPlaceEdit::ClipboardText() const {
    std::wstring text;
    const win::ClipboardLock clipboard(Handle());
    if (!clipboard.Opened())
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            const SIZE_T limit = GlobalSize(data) / sizeof(wchar_t);
            SIZE_T length = 0;
            while (length < limit && chars[length] != L'\0')
                ++length;
            text.assign(chars, length);
            GlobalUnlock(data);
        }
    }
    return text;
}

} // namespace kavrel
