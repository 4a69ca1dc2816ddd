#include "framework/Dialog.h"

namespace kavrel::win {

INT_PTR Dialog::DoModal(HINSTANCE instance, HWND owner) noexcept {
    instance_ = instance;
    SubclassNextWindow subclass(*this);
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId_), owner, &Dialog::DialogProcedure, 0);
}

void Dialog::EndDialog(INT_PTR result) noexcept {
    ::EndDialog(Handle(), result);
}

// Every message is answered by the subclassed window procedure first; what reaches here gets the
// dialog manager's default processing.
INT_PTR CALLBACK Dialog::DialogProcedure(HWND, UINT message, WPARAM, LPARAM) noexcept {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

bool Dialog::ProcessMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == IDOK) {
            OnOK();
            result = 0;
            return true;
        }
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == IDCANCEL) {
            OnCancel();
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace kavrel::win
