// The message map and the subclassing base, with real windows and real messages.

#include "framework/MessageMap.h"
#include "framework/Window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <stdexcept>
#include <vector>

using namespace kavrel::win;

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kThrow = WM_APP + 2;
constexpr UINT kNested = WM_APP + 3;
constexpr UINT_PTR kButtonId = 17;

class Recorder : public Window {
public:
    std::vector<UINT> seen;
    LPARAM lastLparam = 0;

    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        return DispatchMessageMap<Recorder>(kMap, *this, message, wparam, lparam, result);
    }
    LRESULT CallDefault() { return Default(); }

    LRESULT OnPing(WPARAM wparam, LPARAM lparam) {
        seen.push_back(kPing);
        lastLparam = lparam;
        return static_cast<LRESULT>(wparam) * 2;
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    LRESULT OnNested(WPARAM, LPARAM) {
        // The inner message must not disturb what Default() refers to afterwards.
        SendMessageW(Handle(), kPing, 1, 0);
        return Default();
    }
    LRESULT OnClicked(WPARAM, LPARAM) {
        seen.push_back(WM_COMMAND);
        return 5;
    }
    LRESULT OnNotified(WPARAM, LPARAM) {
        seen.push_back(WM_NOTIFY);
        return 6;
    }
    LRESULT OnGetText(WPARAM, LPARAM) {
        seen.push_back(WM_GETTEXT);
        return Default(); // the original procedure still answers
    }

    static constexpr MessageEntry<Recorder> kMap[] = {
        OnMessage<Recorder>(kPing, &Recorder::OnPing),
        OnMessage<Recorder>(kThrow, &Recorder::OnThrow),
        OnMessage<Recorder>(kNested, &Recorder::OnNested),
        OnMessage<Recorder>(WM_GETTEXT, &Recorder::OnGetText),
        OnCommand<Recorder>(kButtonId, BN_CLICKED, &Recorder::OnClicked),
        OnNotify<Recorder>(kButtonId, NM_CLICK, &Recorder::OnNotified),
    };
};

// The original procedure of the test windows answers private messages with the message plus 1000, so a
// test can tell which message Default() passed on.
LRESULT CALLBACK EchoProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message >= WM_APP)
        return static_cast<LRESULT>(message) + 1000;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

const wchar_t* EchoClass() {
    static const ATOM atom = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &EchoProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KavrelEchoWindow";
        return RegisterClassW(&windowClass);
    }();
    return reinterpret_cast<const wchar_t*>(static_cast<ULONG_PTR>(atom));
}

// A top-level window with the echoing procedure, destroyed at the end of the test.
struct PlainWindow {
    HWND hwnd = CreateWindowExW(0, EchoClass(), L"plain text", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ~PlainWindow() {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
};

} // namespace

TEST(Window, MessageMapRoutesMessagesCommandsNotificationsAndDefault) {
    PlainWindow plain;
    Recorder recorder;
    ASSERT_TRUE(recorder.Subclass(plain.hwnd));
    EXPECT_EQ(Window::FromHandle(plain.hwnd), &recorder);

    EXPECT_EQ(SendMessageW(plain.hwnd, kPing, 21, 99), 42);
    EXPECT_EQ(recorder.lastLparam, 99);
    EXPECT_EQ(SendMessageW(plain.hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), 0), 5);
    // Another notification code or another id is not the mapped command.
    SendMessageW(plain.hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_SETFOCUS), 0);
    SendMessageW(plain.hwnd, WM_COMMAND, MAKEWPARAM(kButtonId + 1, BN_CLICKED), 0);
    NMHDR header{nullptr, kButtonId, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(plain.hwnd, WM_NOTIFY, kButtonId, reinterpret_cast<LPARAM>(&header)), 6);
    NMHDR other{nullptr, kButtonId, static_cast<UINT>(NM_DBLCLK)};
    SendMessageW(plain.hwnd, WM_NOTIFY, kButtonId, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(recorder.seen, (std::vector<UINT>{kPing, WM_COMMAND, WM_NOTIFY}));

    // Default() reaches the original procedure, for the outer message after a nested one, and a handler
    // that throws gets it too.
    wchar_t text[32] = {};
    EXPECT_EQ(GetWindowTextW(plain.hwnd, text, 32), 10);
    EXPECT_STREQ(text, L"plain text");
    EXPECT_EQ(recorder.seen.back(), static_cast<UINT>(WM_GETTEXT));
    EXPECT_EQ(SendMessageW(plain.hwnd, kNested, 0, 0), static_cast<LRESULT>(kNested) + 1000);
    EXPECT_EQ(recorder.seen.back(), kPing);
    EXPECT_EQ(SendMessageW(plain.hwnd, kThrow, 0, 0), static_cast<LRESULT>(kThrow) + 1000);
    EXPECT_EQ(SendMessageW(plain.hwnd, kPing, 3, 0), 6); // still working afterwards
}

TEST(Window, DestructionDetachesAndUnsubclassRestores) {
    Recorder recorder;
    {
        PlainWindow plain;
        ASSERT_TRUE(recorder.Subclass(plain.hwnd));
    }
    EXPECT_EQ(recorder.Handle(), nullptr);

    PlainWindow plain;
    ASSERT_TRUE(recorder.Subclass(plain.hwnd));
    Recorder second;
    EXPECT_FALSE(second.Subclass(plain.hwnd)) << "one object per window";
    recorder.Unsubclass();
    EXPECT_EQ(Window::FromHandle(plain.hwnd), nullptr);
    EXPECT_EQ(SendMessageW(plain.hwnd, kPing, 1, 0), static_cast<LRESULT>(kPing) + 1000);
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_TRUE(second.Subclass(plain.hwnd));
}
