#pragma once
// A modal dialog from a dialog template resource. Its messages reach the object from the window's
// creation on, so the size messages sent while the platform creates the dialog are seen too.

#include "framework/Window.h"

namespace kavrel::win {

class Dialog : public Window {
public:
    explicit Dialog(int templateId) noexcept : templateId_(templateId) {}

    // Runs the dialog modally; returns the value given to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal(HINSTANCE instance, HWND owner) noexcept;
    void EndDialog(INT_PTR result) noexcept;

    HINSTANCE Instance() const noexcept { return instance_; }
    HWND Item(int id) const noexcept { return GetDlgItem(Handle(), id); }

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

    // True lets the dialog manager put the focus on the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

private:
    static INT_PTR CALLBACK DialogProcedure(HWND, UINT, WPARAM, LPARAM) noexcept;

    int templateId_;
    HINSTANCE instance_ = nullptr;
};

} // namespace kavrel::win
