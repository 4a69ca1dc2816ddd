// Modal dialogs from a template: the object sees the creation-time size message, initialisation, and the
// OK and Cancel paths end the dialog with their results.

#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

using namespace kavrel::win;

namespace {

constexpr UINT_PTR kTimerId = 1;

class TestDialog : public Dialog {
public:
    TestDialog() : Dialog(IDD_TEST_DIALOG) {}

    std::vector<UINT> seen;
    HWND focusAfterInit = nullptr;
    std::function<void(TestDialog&)> afterInit;

    void Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) { SendMessageW(Handle(), message, wparam, lparam); }
    using Dialog::Item;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        if (message == WM_SIZE || message == WM_INITDIALOG)
            seen.push_back(message);
        return DispatchMessageMap<TestDialog>(kMap, *this, message, wparam, lparam, result) ||
               Dialog::ProcessMessage(message, wparam, lparam, result);
    }
    BOOL OnInitDialog() override {
        Dialog::OnInitDialog();
        // Run the test's steps from inside the modal loop.
        SetTimer(Handle(), kTimerId, 10, nullptr);
        return TRUE;
    }

private:
    LRESULT OnTimer(WPARAM wparam, LPARAM) {
        if (wparam == kTimerId) {
            KillTimer(Handle(), kTimerId);
            focusAfterInit = GetFocus();
            if (afterInit)
                afterInit(*this);
        }
        return 0;
    }
    LRESULT OnButton(WPARAM, LPARAM) {
        EndDialog(77);
        return 0;
    }

    static constexpr MessageEntry<TestDialog> kMap[] = {
        OnMessage<TestDialog>(WM_TIMER, &TestDialog::OnTimer),
        OnCommand<TestDialog>(IDC_TEST_BUTTON, BN_CLICKED, &TestDialog::OnButton),
    };
};

} // namespace

TEST(Dialog, SeesTheCreationSizeMessageBeforeInitialisationAndFocusesTheFirstTabStop) {
    TestDialog dialog;
    HWND button = nullptr;
    dialog.afterInit = [&](TestDialog& d) {
        button = d.Item(IDC_TEST_BUTTON);
        d.Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
    };
    EXPECT_EQ(dialog.DoModal(GetModuleHandleW(nullptr), nullptr), IDOK);
    ASSERT_GE(dialog.seen.size(), 2u);
    EXPECT_EQ(dialog.seen.front(), static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(std::count(dialog.seen.begin(), dialog.seen.end(), static_cast<UINT>(WM_INITDIALOG)), 1);
    EXPECT_NE(button, nullptr);
    EXPECT_EQ(dialog.focusAfterInit, button);
    EXPECT_EQ(dialog.Handle(), nullptr) << "detached once the window is gone";
}

TEST(Dialog, EachWayToEndGivesItsResult) {
    // Cancel, the close box and the system menu's Close (SC_CLOSE), a mapped command with its own result.
    const std::pair<std::function<void(TestDialog&)>, INT_PTR> ways[] = {
        {[](TestDialog& d) { d.Send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)); }, IDCANCEL},
        {[](TestDialog& d) { d.Send(WM_SYSCOMMAND, SC_CLOSE); }, IDCANCEL},
        {[](TestDialog& d) { d.Send(WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED)); }, 77}};
    for (const auto& [way, result] : ways) {
        TestDialog dialog;
        dialog.afterInit = way;
        EXPECT_EQ(dialog.DoModal(GetModuleHandleW(nullptr), nullptr), result);
    }
    // A missing template fails, and the creation hook is gone with it: a later dialog is still created.
    class Missing : public Dialog {
    public:
        Missing() : Dialog(9999) {}
    } missing;
    EXPECT_EQ(missing.DoModal(GetModuleHandleW(nullptr), nullptr), -1);
    TestDialog next;
    next.afterInit = [](TestDialog& d) { d.Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)); };
    EXPECT_EQ(next.DoModal(GetModuleHandleW(nullptr), nullptr), IDOK);
}
