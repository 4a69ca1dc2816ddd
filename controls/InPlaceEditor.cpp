#include "controls/InPlaceEditor.h"

#include <commctrl.h>

#include <utility>

namespace kavrel {

InPlaceEditor::~InPlaceEditor() {
    // The object goes with its list control: an open window goes too, without ending an edit nobody
    // is left to receive.
    if (HWND open = Handle()) {
        Unsubclass();
        DestroyWindow(open);
    }
}

void InPlaceEditor::Prepare(int row, int column, std::wstring initialText) {
    row_ = row;
    column_ = column;
    initialText_ = std::move(initialText);
    cancel_ = false;
}

bool InPlaceEditor::Create(const wchar_t* className, DWORD style, const RECT& rect, HWND list) noexcept {
    if (Handle() != nullptr)
        return false;
    win::SubclassNextWindow subclass(*this);
    HWND created = CreateWindowExW(0, className, L"", style, rect.left, rect.top, rect.right - rect.left,
                                   rect.bottom - rect.top, list, nullptr, GetModuleHandleW(nullptr), nullptr);
    return created != nullptr && Handle() == created;
}

void InPlaceEditor::TakeListFont() noexcept {
    SendMessageW(Handle(), WM_SETFONT, static_cast<WPARAM>(SendMessageW(List(), WM_GETFONT, 0, 0)), TRUE);
}

LRESULT InPlaceEditor::WantEnterAndEscape(LPARAM lparam) noexcept {
    LRESULT code = Default();
    const auto* message = reinterpret_cast<const MSG*>(lparam);
    if (message != nullptr && message->message == WM_KEYDOWN &&
        (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE))
        code |= DLGC_WANTMESSAGE;
    return code;
}

void InPlaceEditor::EndEdit(std::wstring currentText) {
    std::wstring text = cancel_ ? initialText_ : std::move(currentText);
    HWND self = Handle();
    HWND list = List();
    NMLVDISPINFOW info{};
    info.hdr.hwndFrom = list;
    info.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(self));
    info.hdr.code = LVN_ENDLABELEDITW;
    info.item.mask = LVIF_TEXT;
    info.item.iItem = row_;
    info.item.iSubItem = column_;
    info.item.pszText = text.data();
    info.item.cchTextMax = static_cast<int>(text.size());
    SendMessageW(list, WM_NOTIFY, static_cast<WPARAM>(GetDlgCtrlID(list)), reinterpret_cast<LPARAM>(&info));
    // Posted: the window may still be inside its own focus change.
    PostMessageW(self, WM_CLOSE, 0, 0);
}

} // namespace kavrel
