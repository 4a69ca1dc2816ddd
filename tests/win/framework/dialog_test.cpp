// Modal dialogs from a template: the object sees the size message sent while the dialog is created, and
// each way to end the dialog gives its result.

#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

using namespace kavrel::win;

namespace {

class TestDialog : public MappedWindow<TestDialog, Dialog> {
public:
    explicit TestDialog(std::function<void(HWND)> end) : MappedWindow(IDD_TEST_DIALOG), end_(std::move(end)) {}
    std::vector<UINT> seen;

    static std::span<const MessageEntry<TestDialog>> MessageMap() {
        static constexpr MessageEntry<TestDialog> kMap[] = {
            OnMessage<TestDialog>(WM_SIZE, &TestDialog::OnSize),
            OnCommand<TestDialog>(IDC_TEST_BUTTON, BN_CLICKED, &TestDialog::OnButton),
        };
        return kMap;
    }

private:
    BOOL OnInitDialog() override {
        seen.push_back(WM_INITDIALOG);
        end_(Handle());
        return TRUE;
    }
    LRESULT OnSize(WPARAM, LPARAM) {
        seen.push_back(WM_SIZE);
        return 0;
    }
    LRESULT OnButton(WPARAM, LPARAM) {
        EndDialog(77);
        return 0;
    }
    std::function<void(HWND)> end_;
};

} // namespace

TEST(Dialog, SeesTheCreationSizeMessageFirstAndEachWayToEndGivesItsResult) {
    // A missing template fails and takes its creation hook with it, so the dialogs after it are created.
    EXPECT_EQ(Dialog(9999).DoModal(GetModuleHandleW(nullptr), nullptr), -1);

    const auto send = [](UINT message, WPARAM wparam) {
        return [=](HWND dialog) { SendMessageW(dialog, message, wparam, 0); };
    };
    const std::pair<std::function<void(HWND)>, INT_PTR> ways[] = {
        {send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)), IDOK},
        {send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)), IDCANCEL},
        {send(WM_SYSCOMMAND, SC_CLOSE), IDCANCEL}, // the close box and the system menu's Close
        {send(WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED)), 77}};
    for (const auto& [way, result] : ways) {
        TestDialog dialog(way);
        EXPECT_EQ(dialog.DoModal(GetModuleHandleW(nullptr), nullptr), result);
        ASSERT_GE(dialog.seen.size(), 2u);
        EXPECT_EQ(dialog.seen.front(), UINT{WM_SIZE});
        EXPECT_EQ(dialog.Handle(), nullptr) << "detached once the window is gone";
    }
}
