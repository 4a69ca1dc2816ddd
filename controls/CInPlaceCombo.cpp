#include "controls/CInPlaceCombo.h"

#include "framework/MessageMap.h"

namespace kavrel {

std::span<const win::MessageEntry<CInPlaceCombo>> CInPlaceCombo::MessageMap() {
    static constexpr win::MessageEntry<CInPlaceCombo> kEntries[] = {
        win::OnMessage<CInPlaceCombo>(WM_CREATE, &CInPlaceCombo::OnCreate),
        win::OnMessage<CInPlaceCombo>(WM_KILLFOCUS, &CInPlaceCombo::OnKillFocus),
        win::OnMessage<CInPlaceCombo>(WM_CHAR, &CInPlaceCombo::OnChar),
        win::OnMessage<CInPlaceCombo>(WM_KEYDOWN, &CInPlaceCombo::OnKeyDown),
        win::OnMessage<CInPlaceCombo>(WM_GETDLGCODE, &CInPlaceCombo::OnGetDlgCode),
    };
    return kEntries;
}

bool CInPlaceCombo::ProcessReflectedMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // The combo box's own notifications to the list, handled here.
    static constexpr win::MessageEntry<CInPlaceCombo> kReflected[] = {
        win::OnCommand<CInPlaceCombo>(0, CBN_CLOSEUP, &CInPlaceCombo::OnCloseUp),
    };
    return win::DispatchMessageMap<CInPlaceCombo>(kReflected, *this, message, wparam, lparam, result);
}

LRESULT CInPlaceCombo::OnCreate(WPARAM, LPARAM) {
    if (Default() == -1)
        return -1;
    TakeListFont();
    SetFocus(Handle());
    SendMessageW(Handle(), CB_RESETCONTENT, 0, 0);
    for (const auto& item : items_)
        SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    return 0;
}

LRESULT CInPlaceCombo::OnKillFocus(WPARAM, LPARAM) {
    Default();
    EndEdit(SelectedText());
    return 0;
}

LRESULT CInPlaceCombo::OnChar(WPARAM wparam, LPARAM) {
    switch (wparam) {
    case VK_ESCAPE:
        Cancel();
        FocusList();
        return 0;
    case VK_RETURN:
        FocusList();
        return 0;
    default:
        return Default();
    }
}

LRESULT CInPlaceCombo::OnKeyDown(WPARAM wparam, LPARAM) {
    // With the list part open the combo box closes it on this key already, which ends the edit before
    // the Escape character arrives: so Escape cancels from here.
    if (wparam == VK_ESCAPE)
        Cancel();
    return Default();
}

LRESULT CInPlaceCombo::OnGetDlgCode(WPARAM, LPARAM lparam) {
    return WantEnterAndEscape(lparam);
}

LRESULT CInPlaceCombo::OnCloseUp(WPARAM, LPARAM) {
    FocusList();
    return 0;
}

std::wstring CInPlaceCombo::SelectedText() const {
    const LRESULT selected = SendMessageW(Handle(), CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return {};
    const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

} // namespace kavrel
