#pragma once
// The tray rectangle's window lookups answered by the running shell.

#include "tray/tray_rect.h"

namespace kavrel {

class ShellTrayWindows final : public TrayWindows {
public:
    std::optional<ScreenRect> TaskbarWindow() override;
    void VisitTaskbarDescendants(
        const std::function<bool(std::wstring_view className, const ScreenRect& rect)>& visit) override;
    std::optional<TaskbarPlace> TaskbarPosition() override;
    ScreenRect WorkArea() override;
};

} // namespace kavrel
