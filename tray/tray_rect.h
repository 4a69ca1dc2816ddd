#pragma once
// Where the notification area is on the screen: the end point of the hide and show animations.
// The window lookups sit behind TrayWindows, so the rules can be tried without a shell.

#include <functional>
#include <optional>
#include <string_view>

namespace kavrel {

// Screen coordinates; right and bottom are outside, as with a Windows RECT.
struct ScreenRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;

    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

enum class TaskbarEdge { Left, Top, Right, Bottom };

struct TaskbarPlace {
    TaskbarEdge edge;
    ScreenRect rect;
};

class TrayWindows {
public:
    virtual ~TrayWindows() = default;

    // The shell's taskbar window ("Shell_TrayWnd"), when there is one.
    virtual std::optional<ScreenRect> TaskbarWindow() = 0;
    // Every descendant of the taskbar window in the system's enumeration order, until visit returns false.
    virtual void
    VisitTaskbarDescendants(const std::function<bool(std::wstring_view className, const ScreenRect& rect)>& visit) = 0;
    // The taskbar's edge and rectangle as the shell reports them, when it answers.
    virtual std::optional<TaskbarPlace> TaskbarPosition() = 0;
    virtual ScreenRect WorkArea() = 0;
};

ScreenRect TrayRect(TrayWindows& windows);

} // namespace kavrel
