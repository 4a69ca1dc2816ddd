#include "tray/tray_rect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using kavrel::ScreenRect;
using kavrel::TaskbarEdge;
using kavrel::TrayRect;

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
    const ScreenRect area{1202, 600, 1278, 798};
    const std::pair<std::vector<std::pair<std::wstring, ScreenRect>>, ScreenRect> cases[] = {
        {{{L"Start", {0, 770, 50, 800}},
          {L"TrayNotifyWnd", {1100, 772, 1278, 798}},
          {L"TrayClockWClass", {1210, 772, 1278, 798}},
          {L"TrayNotifyWnd", {0, 0, 1, 1}}}, // after the clock: the walk has stopped
         {1100, 772, 1210, 798}},
        // A clock whose bottom lies within 5 pixels of the area's bottom counts as beside it.
        {{{L"TrayNotifyWnd", area}, {L"TrayClockWClass", {1202, 600, 1240, 793}}}, {1202, 600, 1202, 798}},
        {{{L"TrayNotifyWnd", area}, {L"TrayClockWClass", {1202, 600, 1240, 792}}}, {1202, 792, 1278, 798}},
        {{{L"traynotifywnd", {1, 1, 2, 2}}, {L"TrayClockWClassX", {3, 3, 4, 4}}}, {0, 770, 1280, 800}},
        {{{L"TrayClockWClass", {1210, 772, 1278, 798}}}, {0, 770, 1210, 800}},
    };
    FakeTrayWindows shell;
    for (const auto& [descendants, expected] : cases) {
        shell.descendants = descendants;
        EXPECT_EQ(TrayRect(shell), expected) << descendants.size() << " descendants";
    }
}

TEST(TrayRect, WithoutTaskbarWindowAStripNearTheTaskbarsEndOrTheWorkAreasCorner) {
    FakeTrayWindows shell;
    shell.taskbarWindow.reset();
    const std::pair<kavrel::TaskbarPlace, ScreenRect> places[] = {
        {{TaskbarEdge::Right, {1200, 0, 1280, 800}}, {1200, 700, 1280, 784}},
        {{TaskbarEdge::Left, {0, 0, 60, 800}}, {0, 700, 60, 784}},
        {{TaskbarEdge::Bottom, {0, 770, 1280, 800}}, {1180, 770, 1264, 800}},
        {{TaskbarEdge::Top, {0, 0, 1280, 30}}, {1180, 0, 1264, 30}}};
    for (const auto& [place, expected] : places) {
        shell.taskbarPosition = place;
        EXPECT_EQ(TrayRect(shell), expected);
    }
    shell.taskbarPosition.reset();
    EXPECT_EQ(TrayRect(shell), (ScreenRect{-150, 994, 0, 1024}));
}
