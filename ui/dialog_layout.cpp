#include "ui/dialog_layout.h"

#include <algorithm>

namespace kavrel {

LayoutRect Place(const LayoutRect& rect, Anchor anchor, LayoutSize designed, LayoutSize current) {
    // Below the designed size the controls would overlap: keep the design and let the window clip.
    const int grownX = std::max(0, current.width - designed.width);
    const int grownY = std::max(0, current.height - designed.height);
    switch (anchor) {
    case Anchor::Fill:
        return {rect.left, rect.top, rect.right + grownX, rect.bottom + grownY};
    case Anchor::Bottom:
        return {rect.left, rect.top + grownY, rect.right, rect.bottom + grownY};
    }
    return rect;
}

} // namespace kavrel
