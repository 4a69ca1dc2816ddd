#include "tray/tray_rect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using kavrel::ScreenRect;
using kavrel::TaskbarEdge;

namespace {

// Every lookup answers until a test takes it away, so each result also shows which one was used.
struct FakeTrayWindows : kavrel::TrayWindows {
    std::optional<ScreenRect> taskbarWindow = ScreenRect{0, 770, 1280, 800};
    std::vector<std::pair<std::wstring, ScreenRect>> descendants;
    std::optional<kavrel::TaskbarPlace> taskbarPosition = kavrel::TaskbarPlace{TaskbarEdge::Top, {0, 0, 1280, 30}};

    std::optional<ScreenRect> TaskbarWindow() override { return taskbarWindow; }
    void VisitTaskbarDescendants(const std::function<bool(std::wstring_view, const ScreenRect&)>& visit) override {
        for (const auto& [name, rect] : descendants)
            if (!visit(name, rect))
                return;
    }
    std::optional<kavrel::TaskbarPlace> TaskbarPosition() override { return taskbarPosition; }
    ScreenRect WorkArea() override { return {-1280, 0, 0, 1024}; } // left of the primary monitor
};

} // namespace

TEST(TrayRect, TaskbarWindowNarrowedToItsNotifyAreaBesideOrBelowTheClock) {
    const std::pair<std::vector<std::pair<std::wstring, ScreenRect>>, ScreenRect> cases[] = {
        {{{L"TrayNotifyWnd", {1100, 772, 1278, 798}},
          {L"TrayClockWClass", {1210, 772, 1278, 793}}, // within 5 pixels of the bottom: beside the icons
          {L"TrayNotifyWnd", {0, 0, 1, 1}}},            // after the clock: the walk has stopped
         {1100, 772, 1210, 798}},
        {{{L"TrayNotifyWnd", {1202, 600, 1278, 798}}, {L"TrayClockWClass", {1202, 600, 1240, 792}}},
         {1202, 792, 1278, 798}},
    };
    FakeTrayWindows shell;
    for (const auto& [descendants, expected] : cases) {
        shell.descendants = descendants;
        EXPECT_EQ(kavrel::TrayRect(shell), expected) << descendants.size() << " descendants";
    }
}

TEST(TrayRect, WithoutTaskbarWindowAStripNearTheTaskbarsEndOrTheWorkAreasCorner) {
    FakeTrayWindows shell;
    shell.taskbarWindow.reset();
    shell.taskbarPosition = {TaskbarEdge::Right, {1200, 0, 1280, 800}};
    EXPECT_EQ(kavrel::TrayRect(shell), (ScreenRect{1200, 700, 1280, 784}));
    shell.taskbarPosition.reset();
    EXPECT_EQ(kavrel::TrayRect(shell), (ScreenRect{-150, 994, 0, 1024}));
}
