// The window framework with real windows and real messages, and its conversion through the ANSI code page.

#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"
#include "framework/Text.h"
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <tuple>
#include <vector>

using namespace kavrel::win;

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT_PTR kButtonId = 17;

class Recorder : public MappedWindow<Recorder> {
public:
    std::vector<UINT> seen;

    static std::span<const MessageEntry<Recorder>> MessageMap() {
        static constexpr MessageEntry<Recorder> kMap[] = {
            OnMessage<Recorder>(kPing, &Recorder::Record<kPing>),
            OnMessage<Recorder>(WM_GETTEXTLENGTH, &Recorder::OnNested),
            OnMessage<Recorder>(WM_GETTEXT, &Recorder::OnThrow),
            OnCommand<Recorder>(kButtonId, BN_CLICKED, &Recorder::Record<WM_COMMAND>),
            OnNotify<Recorder>(kButtonId, NM_CLICK, &Recorder::Record<WM_NOTIFY>),
        };
        return kMap;
    }

private:
    // The inner message must not change what Default() refers to afterwards.
    LRESULT OnNested(WPARAM, LPARAM) {
        SendMessageW(Handle(), kPing, 0, 0);
        return Default();
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    template <UINT message> LRESULT Record(WPARAM wparam, LPARAM lparam) {
        seen.push_back(message);
        return static_cast<LRESULT>(wparam) + lparam;
    }
};

// Records every message; its initialisation sends it the message that ends it.
class TestDialog : public Dialog {
public:
    TestDialog(UINT message, WPARAM wparam) : Dialog(IDD_TEST_DIALOG), end_(message), wparam_(wparam) {}
    std::vector<UINT> seen;

private:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        seen.push_back(message);
        return Dialog::ProcessMessage(message, wparam, lparam, result);
    }
    BOOL OnInitDialog() override {
        SendMessageW(Handle(), end_, wparam_, 0);
        return TRUE;
    }
    UINT end_;
    WPARAM wparam_;
};

} // namespace

TEST(Window, MessageMapRoutesMessagesCommandsAndNotificationsAndDefaultReachesTheOriginal) {
    // A static control answers text messages itself, so what Default() passes on can be seen.
    ScopedWindow plain(
        CreateWindowExW(0, L"Static", L"plain text", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr));
    const HWND hwnd = plain.Get();
    Recorder recorder;
    ASSERT_TRUE(recorder.Subclass(hwnd));

    EXPECT_EQ(SendMessageW(hwnd, kPing, 20, 1), 21);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_SETFOCUS), 0); // another code, then another id
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId + 1, BN_CLICKED), 0);
    NMHDR header{nullptr, kButtonId, static_cast<UINT>(NM_CLICK)};
    SendMessageW(hwnd, WM_NOTIFY, kButtonId, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(recorder.seen, (std::vector<UINT>{kPing, WM_COMMAND, WM_NOTIFY}));

    EXPECT_EQ(GetWindowTextLengthW(hwnd), 10) << "Default() after a nested message";
    EXPECT_EQ(recorder.seen.back(), kPing);
    wchar_t text[32] = {};
    EXPECT_EQ(GetWindowTextW(hwnd, text, 32), 10) << "a handler that throws leaves the message to the original";
}

TEST(Dialog, SeesItsCreationsSizeMessageBeforeInitialisationAndEachWayToEndGivesItsResult) {
    // A missing template fails and takes its creation hook with it, so the dialogs after it are created.
    EXPECT_EQ(Dialog(9999).DoModal(GetModuleHandleW(nullptr), nullptr), -1);
    // OK and Cancel clicked (BN_CLICKED is 0), then the close box or the system menu's Close.
    const std::tuple<UINT, WPARAM, INT_PTR> ways[] = {
        {WM_COMMAND, IDOK, IDOK}, {WM_COMMAND, IDCANCEL, IDCANCEL}, {WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}};
    for (const auto& [message, wparam, result] : ways) {
        TestDialog dialog(message, wparam);
        EXPECT_EQ(dialog.DoModal(GetModuleHandleW(nullptr), nullptr), result);
        const auto& seen = dialog.seen;
        EXPECT_LT(std::find(seen.begin(), seen.end(), WM_SIZE), std::find(seen.begin(), seen.end(), WM_INITDIALOG));
        EXPECT_EQ(dialog.Handle(), nullptr) << "detached once the window is gone";
    }
}

TEST(Text, ConvertsThroughTheAnsiCodePageAndFailsForTextItLacks) {
    // U+00FC is in every Western ANSI code page; its byte there is what the system says it is.
    char expected[4] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00FC", 1, expected, 4, nullptr, nullptr), 1);
    EXPECT_EQ(ToAnsi(L"COM\u00FC").value(), "COM" + std::string(expected, 1));
    EXPECT_EQ(FromAnsi("COM" + std::string(expected, 1)), L"COM\u00FC");
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "UTF-8 holds every character";
    // No ANSI code page has both; the conversion must fail rather than send '?' or a look-alike.
    EXPECT_FALSE(ToAnsi(L"host-\u4E2D\u0416").has_value());
    EXPECT_FALSE(ToAnsi(L"\u0100").has_value()) << "best fit would give 'A'";
}
