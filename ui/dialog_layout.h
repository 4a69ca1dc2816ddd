#pragma once
// Where a dialog's controls go when the user resizes it: some grow with the window, the rest keep their
// distance to its bottom edge. Never smaller than the layout the dialog was designed with.

namespace kavrel {

struct LayoutRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

struct LayoutSize {
    int width = 0;
    int height = 0;
};

enum class Anchor {
    Fill,   // grows and shrinks with the client area in both directions
    Bottom, // keeps its size and its distance to the bottom edge
};

// rect: the control's place in a client area of the designed size; current: the client area's size now.
LayoutRect Place(const LayoutRect& rect, Anchor anchor, LayoutSize designed, LayoutSize current);

} // namespace kavrel
