#pragma once
// The base of every window class: takes over a window's procedure and hands each message to
// ProcessMessage, which derived classes answer from their message maps.

#include <windows.h>

namespace kavrel::win {

class Window {
public:
    Window() noexcept = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const noexcept { return hwnd_; }

    // Routes the window's messages through this object until the window is destroyed or Unsubclass.
    bool Subclass(HWND hwnd) noexcept;
    void Unsubclass() noexcept;

    // The object behind a window subclassed by this framework, or null.
    static Window* FromHandle(HWND hwnd) noexcept;

protected:
    // Answers a message: true when handled, with its result. Unhandled messages go to the original procedure.
    virtual bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

    // A WM_NOTIFY or WM_COMMAND that this window sent to its parent, offered to it first (reflection), so
    // a control can handle the notifications that concern itself. True when handled: the parent then
    // never sees it and the result is the answer.
    virtual bool ProcessReflectedMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

    // The original procedure's processing of the message now being handled.
    LRESULT Default() noexcept;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

    struct CurrentMessage {
        UINT message = 0;
        WPARAM wparam = 0;
        LPARAM lparam = 0;
    };

    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
    CurrentMessage current_;
};

// Subclasses the next window this thread creates into the given object while the window is being
// created, so its first messages (WM_CREATE, a dialog's first WM_SIZE) already reach the object. The
// hook goes as soon as it has done that, or with this scope.
class SubclassNextWindow {
public:
    explicit SubclassNextWindow(Window& window) noexcept;
    ~SubclassNextWindow();
    SubclassNextWindow(const SubclassNextWindow&) = delete;
    SubclassNextWindow& operator=(const SubclassNextWindow&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) noexcept;

    Window* previousTarget_;
    HHOOK previousHook_;
};

} // namespace kavrel::win
