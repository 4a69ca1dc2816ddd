#include "framework/Dialog.h"

namespace kavrel::win {

namespace {
// The dialog whose window is being created on this thread; the creation hook subclasses it.
thread_local Dialog* t_creating = nullptr;
} // namespace

INT_PTR Dialog::DoModal(HINSTANCE instance, HWND owner) noexcept {
    instance_ = instance;
    t_creating = this;
    creationHook_.Reset(SetWindowsHookExW(WH_CBT, &Dialog::CreationHook, nullptr, GetCurrentThreadId()));
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId_), owner, &Dialog::DialogProcedure, 0);
    creationHook_.Reset();
    t_creating = nullptr;
    return result;
}

void Dialog::EndDialog(INT_PTR result) noexcept {
    ::EndDialog(Handle(), result);
}

LRESULT CALLBACK Dialog::CreationHook(int code, WPARAM wparam, LPARAM lparam) noexcept {
    // The dialog's own window is the first one created after DoModal set the hook.
    if (code == HCBT_CREATEWND && t_creating != nullptr) {
        Dialog* dialog = t_creating;
        t_creating = nullptr;
        dialog->Subclass(reinterpret_cast<HWND>(wparam));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Every message is answered by the subclassed window procedure first; what reaches here gets the
// dialog manager's default processing.
INT_PTR CALLBACK Dialog::DialogProcedure(HWND, UINT message, WPARAM, LPARAM) noexcept {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

bool Dialog::ProcessMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        creationHook_.Reset();
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
