#pragma once
// Owners of what Windows hands out for a while and wants back: COM on this thread, a window's paint
// context, the clipboard. Each gives it back once, on every way out of its scope.

#include <windows.h>

#include <objbase.h>

namespace kavrel::win {

// COM on this thread; a failed start changes nothing (it is only needed by some shell calls).
class ComSession {
public:
    ComSession() noexcept : started_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComSession() {
        if (started_)
            CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;

private:
    bool started_;
};

// BeginPaint and EndPaint around a WM_PAINT handler.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// The clipboard, open for this window; Opened() is false when another program holds it.
class ClipboardLock {
public:
    explicit ClipboardLock(HWND owner) noexcept : opened_(OpenClipboard(owner) != FALSE) {}
    ~ClipboardLock() {
        if (opened_)
            CloseClipboard();
    }
    ClipboardLock(const ClipboardLock&) = delete;
    ClipboardLock& operator=(const ClipboardLock&) = delete;

    bool Opened() const noexcept { return opened_; }

private:
    bool opened_;
};

} // namespace kavrel::win
