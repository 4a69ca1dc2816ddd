#include "ui/ChildLayout.h"

namespace kavrel {

void ChildLayout::Capture(HWND dialog, HWND fill) {
    dialog_ = dialog;
    children_.clear();
    RECT client{};
    GetClientRect(dialog, &client);
    designedClient_ = {client.right, client.bottom};
    RECT window{};
    GetWindowRect(dialog, &window);
    designedWindow_ = {window.right - window.left, window.bottom - window.top};
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        children_.push_back(
            {child, {rect.left, rect.top, rect.right, rect.bottom}, child == fill ? Anchor::Fill : Anchor::Bottom});
    }
    captured_ = true;
}

void ChildLayout::Arrange(int clientWidth, int clientHeight) const {
    if (!captured_ || children_.empty())
        return;
    HDWP positions = BeginDeferWindowPos(static_cast<int>(children_.size()));
    for (const Child& child : children_) {
        const LayoutRect rect = Place(child.designed, child.anchor, designedClient_, {clientWidth, clientHeight});
        if (positions != nullptr)
            positions = DeferWindowPos(positions, child.window, nullptr, rect.left, rect.top, rect.right - rect.left,
                                       rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (positions != nullptr)
        EndDeferWindowPos(positions);
    // Group boxes paint only their frame, so what they left behind on the dialog must be painted over.
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ChildLayout::LimitTracking(MINMAXINFO& info) const noexcept {
    if (!captured_)
        return;
    info.ptMinTrackSize.x = designedWindow_.cx;
    info.ptMinTrackSize.y = designedWindow_.cy;
}

} // namespace kavrel
