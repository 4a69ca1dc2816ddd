#include "framework/Window.h"

#include <mutex>
#include <unordered_map>
#include <utility>

namespace kavrel::win {

namespace {
// Handle to object, looked up for every message. Kept in the process rather than as a window property:
// under Wine every GetProp is a round trip to the server, and a thousand devices listed cost tens of
// thousands of messages.
class WindowObjects {
public:
    bool Add(HWND hwnd, Window* object) {
        std::lock_guard lock(mutex_);
        return objects_.emplace(hwnd, object).second;
    }
    void Remove(HWND hwnd) noexcept {
        std::lock_guard lock(mutex_);
        objects_.erase(hwnd);
    }
    Window* Find(HWND hwnd) const noexcept {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(hwnd);
        return it == objects_.end() ? nullptr : it->second;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<HWND, Window*> objects_;
};

WindowObjects& Objects() noexcept {
    static WindowObjects objects;
    return objects;
}

// The child object that sent this notification or command to hwnd, if it is one of ours.
Window* ReflectionTarget(HWND hwnd, UINT message, LPARAM lparam) noexcept {
    HWND from = nullptr;
    if (message == WM_NOTIFY && lparam != 0)
        from = reinterpret_cast<const NMHDR*>(lparam)->hwndFrom;
    else if (message == WM_COMMAND)
        from = reinterpret_cast<HWND>(lparam);
    if (from == nullptr || from == hwnd || GetParent(from) != hwnd)
        return nullptr;
    return Window::FromHandle(from);
}
} // namespace

Window::~Window() {
    Unsubclass();
}

bool Window::Subclass(HWND hwnd) noexcept {
    if (hwnd_ != nullptr || hwnd == nullptr || !IsWindow(hwnd))
        return false;
    try {
        if (!Objects().Add(hwnd, this))
            return false;
    } catch (...) {
        return false;
    }
    hwnd_ = hwnd;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::Procedure)));
    return true;
}

void Window::Unsubclass() noexcept {
    if (hwnd_ == nullptr)
        return;
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    Objects().Remove(hwnd_);
    hwnd_ = nullptr;
    original_ = nullptr;
}

Window* Window::FromHandle(HWND hwnd) noexcept {
    return hwnd ? Objects().Find(hwnd) : nullptr;
}

bool Window::ProcessMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

bool Window::ProcessReflectedMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT Window::Default() noexcept {
    return CallWindowProcW(original_, hwnd_, current_.message, current_.wparam, current_.lparam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    Window* self = FromHandle(hwnd);
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wparam, lparam);

    // Handlers may send messages to their own window, so the current message nests.
    const CurrentMessage outer = std::exchange(self->current_, CurrentMessage{message, wparam, lparam});
    LRESULT result = 0;
    bool handled = false;
    try {
        Window* child = ReflectionTarget(hwnd, message, lparam);
        handled = child != nullptr && child->ProcessReflectedMessage(message, wparam, lparam, result);
        if (!handled)
            handled = self->ProcessMessage(message, wparam, lparam, result);
    } catch (...) {
        // Nothing may unwind through the system's code; the message gets its default processing.
        OutputDebugStringW(L"Kavrel: a message handler failed\n");
        handled = false;
    }
    if (!handled)
        result = CallWindowProcW(self->original_, hwnd, message, wparam, lparam);
    self->current_ = outer;
    if (message == WM_NCDESTROY)
        self->Unsubclass();
    return result;
}

namespace {
thread_local Window* t_creating = nullptr;
thread_local HHOOK t_creationHook = nullptr;
} // namespace

SubclassNextWindow::SubclassNextWindow(Window& window) noexcept
    : previousTarget_(std::exchange(t_creating, &window)), previousHook_(t_creationHook) {
    t_creationHook = SetWindowsHookExW(WH_CBT, &SubclassNextWindow::Hook, nullptr, GetCurrentThreadId());
}

SubclassNextWindow::~SubclassNextWindow() {
    if (t_creationHook != nullptr)
        UnhookWindowsHookEx(t_creationHook);
    t_creating = previousTarget_;
    t_creationHook = previousHook_;
}

LRESULT CALLBACK SubclassNextWindow::Hook(int code, WPARAM wparam, LPARAM lparam) noexcept {
    // The object's own window is the first one created; a combo box makes its list part after it.
    if (code == HCBT_CREATEWND && t_creating != nullptr) {
        std::exchange(t_creating, nullptr)->Subclass(reinterpret_cast<HWND>(wparam));
        UnhookWindowsHookEx(std::exchange(t_creationHook, nullptr));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

} // namespace kavrel::win
