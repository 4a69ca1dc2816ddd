#pragma once
// A window class's message map: a static table from a message, or a command or notification from one
// control, to a member function. The first matching entry handles the message.

#include "framework/Window.h"

#include <windows.h>

#include <span>

namespace kavrel::win {

template <class T> struct MessageEntry {
    enum class Kind { Message, Command, Notify };
    using Handler = LRESULT (T::*)(WPARAM, LPARAM);

    Kind kind;
    UINT code;   // the message, the command's notification code or the WM_NOTIFY code
    UINT_PTR id; // the control or command id (commands and notifications only)
    Handler handler;
};

template <class T> constexpr MessageEntry<T> OnMessage(UINT message, typename MessageEntry<T>::Handler handler) {
    return {MessageEntry<T>::Kind::Message, message, 0, handler};
}

// WM_COMMAND from a control (code BN_CLICKED and so on) or a menu item (code 0).
template <class T>
constexpr MessageEntry<T> OnCommand(UINT_PTR id, UINT code, typename MessageEntry<T>::Handler handler) {
    return {MessageEntry<T>::Kind::Command, code, id, handler};
}

template <class T>
constexpr MessageEntry<T> OnNotify(UINT_PTR id, UINT code, typename MessageEntry<T>::Handler handler) {
    return {MessageEntry<T>::Kind::Notify, code, id, handler};
}

template <class T>
bool DispatchMessageMap(std::span<const MessageEntry<T>> map, T& window, UINT message, WPARAM wparam, LPARAM lparam,
                        LRESULT& result) {
    using Kind = typename MessageEntry<T>::Kind;
    for (const auto& entry : map) {
        switch (entry.kind) {
        case Kind::Message:
            if (message != entry.code)
                continue;
            break;
        case Kind::Command:
            if (message != WM_COMMAND || LOWORD(wparam) != entry.id || HIWORD(wparam) != entry.code)
                continue;
            break;
        case Kind::Notify: {
            if (message != WM_NOTIFY || lparam == 0)
                continue;
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom != entry.id || header->code != entry.code)
                continue;
            break;
        }
        }
        result = (window.*entry.handler)(wparam, lparam);
        return true;
    }
    return false;
}

// A window class answered from its message map: Derived lists its entries in a static MessageMap();
// what the map does not handle goes on to Base.
template <class Derived, class Base = Window> class MappedWindow : public Base {
public:
    using Base::Base;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        return DispatchMessageMap<Derived>(Derived::MessageMap(), static_cast<Derived&>(*this), message, wparam, lparam,
                                           result) ||
               Base::ProcessMessage(message, wparam, lparam, result);
    }
};

} // namespace kavrel::win
