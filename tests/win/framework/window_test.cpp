// The message map and the subclassing base, with real windows and real messages.

#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <stdexcept>
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
            OnMessage<Recorder>(kPing, &Recorder::OnPing),
            OnMessage<Recorder>(WM_GETTEXTLENGTH, &Recorder::OnNested),
            OnMessage<Recorder>(WM_GETTEXT, &Recorder::OnThrow),
            OnCommand<Recorder>(kButtonId, BN_CLICKED, &Recorder::Record<WM_COMMAND>),
            OnNotify<Recorder>(kButtonId, NM_CLICK, &Recorder::Record<WM_NOTIFY>),
        };
        return kMap;
    }

private:
    LRESULT OnPing(WPARAM wparam, LPARAM lparam) {
        seen.push_back(kPing);
        return static_cast<LRESULT>(wparam) + lparam;
    }
    // The inner message must not change what Default() refers to afterwards.
    LRESULT OnNested(WPARAM, LPARAM) {
        SendMessageW(Handle(), kPing, 0, 0);
        return Default();
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    template <UINT message> LRESULT Record(WPARAM, LPARAM) {
        seen.push_back(message);
        return message;
    }
};

// A static control answers text messages itself, so what Default() passes on can be seen.
ScopedWindow PlainWindow() {
    return ScopedWindow(CreateWindowExW(0, L"Static", L"plain text", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr));
}

} // namespace

TEST(Window, MessageMapRoutesMessagesCommandsAndNotificationsAndDefaultReachesTheOriginal) {
    ScopedWindow plain = PlainWindow();
    const HWND hwnd = plain.Get();
    Recorder recorder;
    ASSERT_TRUE(recorder.Subclass(hwnd));

    EXPECT_EQ(SendMessageW(hwnd, kPing, 20, 1), 21);
    EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), 0), WM_COMMAND);
    // Another notification code or another id is not the mapped command.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId, BN_SETFOCUS), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButtonId + 1, BN_CLICKED), 0);
    NMHDR header{nullptr, kButtonId, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(hwnd, WM_NOTIFY, kButtonId, reinterpret_cast<LPARAM>(&header)), WM_NOTIFY);
    header.code = static_cast<UINT>(NM_DBLCLK);
    SendMessageW(hwnd, WM_NOTIFY, kButtonId, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(recorder.seen, (std::vector<UINT>{kPing, WM_COMMAND, WM_NOTIFY}));

    EXPECT_EQ(GetWindowTextLengthW(hwnd), 10) << "Default() after a nested message";
    EXPECT_EQ(recorder.seen.back(), kPing);
    wchar_t text[32] = {};
    EXPECT_EQ(GetWindowTextW(hwnd, text, 32), 10) << "a handler that throws leaves the message to the original";
    EXPECT_EQ(SendMessageW(hwnd, kPing, 1, 2), 3) << "and the window goes on working";
}

TEST(Window, DestructionDetachesUnsubclassRestoresAndAWindowHasOneObject) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Subclass(PlainWindow().Get())); // the window is destroyed at once
    EXPECT_EQ(recorder.Handle(), nullptr);

    ScopedWindow plain = PlainWindow();
    ASSERT_TRUE(recorder.Subclass(plain.Get()));
    Recorder second;
    EXPECT_FALSE(second.Subclass(plain.Get()));
    recorder.Unsubclass();
    EXPECT_EQ(SendMessageW(plain.Get(), kPing, 1, 2), 0);
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_TRUE(second.Subclass(plain.Get()));
}
