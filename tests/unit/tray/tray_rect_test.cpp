#include "tray/tray_rect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using kavrel::ScreenRect;
using kavrel::TaskbarEdge;
using kavrel::TaskbarPlace;
using kavrel::TrayRect;

namespace {

// A shell as the tray rectangle sees it, with a record of which lookups were made.
class FakeTrayWindows : public kavrel::TrayWindows {
public:
    std::optional<ScreenRect> taskbarWindow;
    std::vector<std::pair<std::wstring, ScreenRect>> descendants;
    std::optional<TaskbarPlace> taskbarPosition;
    ScreenRect workArea{0, 0, 1280, 770};

    int visited = 0;
    int positionAsked = 0;
    int workAreaAsked = 0;

    std::optional<ScreenRect> TaskbarWindow() override { return taskbarWindow; }
    void VisitTaskbarDescendants(
        const std::function<bool(std::wstring_view className, const ScreenRect& rect)>& visit) override {
        for (const auto& [name, rect] : descendants) {
            ++visited;
            if (!visit(name, rect))
                return;
        }
    }
    std::optional<TaskbarPlace> TaskbarPosition() override {
        ++positionAsked;
        return taskbarPosition;
    }
    ScreenRect WorkArea() override {
        ++workAreaAsked;
        return workArea;
    }
};

const ScreenRect kBottomTaskbar{0, 770, 1280, 800};

} // namespace

TEST(TrayRect, TaskbarWindowNarrowedToItsNotifyAreaAndTheClock) {
    FakeTrayWindows shell;
    shell.taskbarWindow = kBottomTaskbar;
    shell.descendants = {{L"Start", {0, 770, 50, 800}},
                         {L"TrayNotifyWnd", {1100, 772, 1278, 798}},
                         {L"ToolbarWindow32", {1102, 772, 1200, 798}},
                         {L"TrayClockWClass", {1210, 772, 1278, 798}},
                         {L"TrayNotifyWnd", {0, 0, 1, 1}}}; // after the clock: never reached
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1100, 772, 1210, 798}));
    EXPECT_EQ(shell.visited, 4) << "the walk stops at the clock";
    EXPECT_EQ(shell.positionAsked + shell.workAreaAsked, 0);

    // A taskbar at the right edge stacks the clock above the icons; a clock whose bottom lies within 5
    // pixels of the area's bottom counts as beside it.
    shell.taskbarWindow = ScreenRect{1200, 0, 1280, 800};
    const ScreenRect area{1202, 600, 1278, 798};
    const std::pair<ScreenRect, ScreenRect> clocks[] = {{{1202, 600, 1278, 640}, {1202, 640, 1278, 798}},
                                                        {{1202, 600, 1240, 793}, {1202, 600, 1202, 798}},
                                                        {{1202, 600, 1240, 792}, {1202, 792, 1278, 798}}};
    for (const auto& [clock, expected] : clocks) {
        shell.descendants = {{L"TrayNotifyWnd", area}, {L"TrayClockWClass", clock}};
        EXPECT_EQ(TrayRect(shell), expected);
    }
    // Names match exactly; without known children the taskbar is taken whole; the clock alone narrows it.
    shell.taskbarWindow = kBottomTaskbar;
    shell.descendants = {{L"traynotifywnd", {1, 1, 2, 2}}, {L"TrayClockWClassX", {3, 3, 4, 4}}};
    EXPECT_EQ(TrayRect(shell), kBottomTaskbar);
    shell.descendants = {{L"TrayClockWClass", {1210, 772, 1278, 798}}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{0, 770, 1210, 800}));
}

TEST(TrayRect, WithoutTaskbarWindowAStripNearTheTaskbarsEndOrTheWorkAreasCorner) {
    FakeTrayWindows shell;
    const std::pair<TaskbarPlace, ScreenRect> places[] = {
        {{TaskbarEdge::Right, {1200, 0, 1280, 800}}, {1200, 700, 1280, 784}},
        {{TaskbarEdge::Left, {0, 0, 60, 800}}, {0, 700, 60, 784}},
        {{TaskbarEdge::Bottom, kBottomTaskbar}, {1180, 770, 1264, 800}},
        {{TaskbarEdge::Top, {0, 0, 1280, 30}}, {1180, 0, 1264, 30}}};
    for (const auto& [place, expected] : places) {
        shell.taskbarPosition = place;
        EXPECT_EQ(TrayRect(shell), expected);
    }
    EXPECT_EQ(shell.visited + shell.workAreaAsked, 0);

    shell.taskbarPosition.reset();
    shell.workArea = {-1280, 0, 0, 1024}; // a work area left of the primary monitor
    EXPECT_EQ(TrayRect(shell), (ScreenRect{-150, 994, 0, 1024}));
    EXPECT_EQ(shell.workAreaAsked, 1);
}
