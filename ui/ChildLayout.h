#pragma once
// A resizable dialog's child windows, captured at their designed places and moved as the dialog's client
// area changes; also the dialog's smallest size, which is its designed one.

#include "ui/dialog_layout.h"

#include <windows.h>

#include <vector>

namespace kavrel {

class ChildLayout {
public:
    // Takes the dialog as it is now as the design: fill is the one child that grows, the rest follow the bottom.
    void Capture(HWND dialog, HWND fill);
    bool Captured() const noexcept { return captured_; }
    // Moves the children for a client area of this size.
    void Arrange(int clientWidth, int clientHeight) const;
    // Keeps the user from dragging the window below the designed size.
    void LimitTracking(MINMAXINFO& info) const noexcept;

private:
    struct Child {
        HWND window;
        LayoutRect designed;
        Anchor anchor;
    };

    HWND dialog_ = nullptr;
    std::vector<Child> children_;
    LayoutSize designedClient_;
    SIZE designedWindow_{};
    bool captured_ = false;
};

} // namespace kavrel
