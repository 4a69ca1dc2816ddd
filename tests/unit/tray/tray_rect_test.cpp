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

TEST(TrayRect, TaskbarWindowNarrowedToItsNotifyAreaAndTheClockOnItsRight) {
    FakeTrayWindows shell;
    shell.taskbarWindow = kBottomTaskbar;
    shell.descendants = {{L"Start", {0, 770, 50, 800}},
                         {L"TrayNotifyWnd", {1100, 772, 1278, 798}},
                         {L"ToolbarWindow32", {1102, 772, 1200, 798}},
                         {L"TrayClockWClass", {1210, 772, 1278, 798}},
                         {L"TrayNotifyWnd", {0, 0, 1, 1}}}; // after the clock: never reached
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1100, 772, 1210, 798}));
    EXPECT_EQ(shell.visited, 4) << "the walk stops at the clock";
    EXPECT_EQ(shell.positionAsked, 0);
    EXPECT_EQ(shell.workAreaAsked, 0);
}

TEST(TrayRect, ClockAboveTheIconsCutsTheTop) {
    // A taskbar at the right edge stacks the clock above the icons.
    FakeTrayWindows shell;
    shell.taskbarWindow = ScreenRect{1200, 0, 1280, 800};
    shell.descendants = {{L"TrayNotifyWnd", {1202, 600, 1278, 798}}, {L"TrayClockWClass", {1202, 600, 1278, 640}}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1202, 640, 1278, 798}));

    // A clock whose bottom lies within 5 pixels of the area's bottom counts as beside it.
    shell.descendants = {{L"TrayNotifyWnd", {1202, 600, 1278, 798}}, {L"TrayClockWClass", {1202, 600, 1240, 793}}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1202, 600, 1202, 798}));
    shell.descendants = {{L"TrayNotifyWnd", {1202, 600, 1278, 798}}, {L"TrayClockWClass", {1202, 600, 1240, 792}}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1202, 792, 1278, 798}));
}

TEST(TrayRect, TaskbarWindowWithoutKnownChildrenIsTakenWholeAndNamesMatchExactly) {
    FakeTrayWindows shell;
    shell.taskbarWindow = kBottomTaskbar;
    shell.descendants = {{L"traynotifywnd", {1, 1, 2, 2}}, {L"TrayClockWClassX", {3, 3, 4, 4}}};
    EXPECT_EQ(TrayRect(shell), kBottomTaskbar);
    EXPECT_EQ(shell.visited, 2);

    // The clock alone narrows the taskbar's own rectangle.
    shell.descendants = {{L"TrayClockWClass", {1210, 772, 1278, 798}}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{0, 770, 1210, 800}));
}

TEST(TrayRect, WithoutTaskbarWindowAStripNearTheTaskbarsEnd) {
    FakeTrayWindows shell;
    shell.taskbarPosition = TaskbarPlace{TaskbarEdge::Right, {1200, 0, 1280, 800}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1200, 700, 1280, 784}));
    shell.taskbarPosition = TaskbarPlace{TaskbarEdge::Left, {0, 0, 60, 800}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{0, 700, 60, 784}));
    shell.taskbarPosition = TaskbarPlace{TaskbarEdge::Bottom, kBottomTaskbar};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1180, 770, 1264, 800}));
    shell.taskbarPosition = TaskbarPlace{TaskbarEdge::Top, {0, 0, 1280, 30}};
    EXPECT_EQ(TrayRect(shell), (ScreenRect{1180, 0, 1264, 30}));
    EXPECT_EQ(shell.visited, 0);
    EXPECT_EQ(shell.workAreaAsked, 0);
}

TEST(TrayRect, WithoutAnyTaskbarTheWorkAreasBottomRightCorner) {
    FakeTrayWindows shell;
    shell.workArea = {-1280, 0, 0, 1024}; // a work area left of the primary monitor
    EXPECT_EQ(TrayRect(shell), (ScreenRect{-150, 994, 0, 1024}));
    EXPECT_EQ(shell.positionAsked, 1);
    EXPECT_EQ(shell.workAreaAsked, 1);
}
