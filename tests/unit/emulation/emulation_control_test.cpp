#include "links_fixture.h"

#include <gtest/gtest.h>

using namespace kavrel;
using namespace kavrel::test;

namespace {

class EmulationControlTest : public LinksFixture {
protected:
    int Count(EngineCall kind) const {
        int count = 0;
        for (auto call : engine.CallKinds())
            count += call == kind ? 1 : 0;
        return count;
    }
    // Start, Stop, Search, device list.
    std::vector<bool> Controls() const {
        return {buttons.Enabled(DialogControl::Start), buttons.Enabled(DialogControl::Stop),
                buttons.Enabled(DialogControl::Search), buttons.Enabled(DialogControl::DeviceList)};
    }
    const std::vector<bool> kIdle{false, false, true, true};
    const std::vector<bool> kLinked{true, false, true, true};
    const std::vector<bool> kRunning{false, true, false, false};
    const std::vector<bool> kStopped{true, false, true, true};
};

TEST_F(EmulationControlTest, StartEngineClearsWhatAnEarlierRunLeftOrReportsAFailedInitialize) {
    EXPECT_TRUE(control.StartEngine());
    EXPECT_EQ(engine.CallKinds(), (std::vector<EngineCall>{EngineCall::Initialize, EngineCall::DestroyAllDevices}));
    EXPECT_TRUE(notifier.shown.empty());
    engine.ClearCalls();
    engine.Fail(EngineCall::Initialize);
    EXPECT_FALSE(control.StartEngine());
    EXPECT_EQ(engine.CallKinds(), std::vector<EngineCall>{EngineCall::Initialize});
    EXPECT_EQ(notifier.shown, std::vector<std::wstring>{L"Initialization error"});
}

TEST_F(EmulationControlTest, ControlsFollowIdleLinkedRunningStoppedAlsoWhenStartAndStopFail) {
    buttons.Enable(DialogControl::Start, true);
    buttons.Enable(DialogControl::Stop, true);
    control.DisableStartStop();
    EXPECT_EQ(Controls(), kIdle);

    rows.Toggle(rows.AddDevice(L"COM5", L"10.0.0.1", L"23"));
    EXPECT_EQ(Controls(), kLinked);

    control.Start();
    EXPECT_EQ(Controls(), kRunning);
    EXPECT_TRUE(control.Running());
    EXPECT_TRUE(timer.armed);
    EXPECT_EQ(Count(EngineCall::StartEmulation), 1);
    EXPECT_EQ(Count(EngineCall::IsReady), 0); // the first poll waits for the timer

    control.Stop();
    EXPECT_EQ(Controls(), kStopped);
    EXPECT_FALSE(control.Running());
    EXPECT_FALSE(timer.armed);

    rows.Toggle(rows.AddDevice(L"COM6", L"10.0.0.2", L"23"));
    EXPECT_EQ(Controls(), kStopped);
    EXPECT_TRUE(notifier.shown.empty());

    // A failed start still runs and a failed stop still stops, each with its message.
    engine.Fail(EngineCall::StartEmulation);
    engine.Fail(EngineCall::StopEmulation);
    control.Start();
    EXPECT_EQ(notifier.shown, std::vector<std::wstring>{L"Error: can not start emulation"});
    EXPECT_EQ(Controls(), kRunning);
    EXPECT_TRUE(timer.armed);
    control.OnTimer(StatusTimer::kId);
    EXPECT_EQ(rows.Status(0), L"Error");
    control.Stop();
    EXPECT_EQ(notifier.shown.back(), L"Error: can not stop emulation");
    EXPECT_EQ(Controls(), kStopped);
    EXPECT_FALSE(timer.armed);
    EXPECT_EQ(rows.Status(0), L"Enable");
}

TEST_F(EmulationControlTest, PollWritesReadyOrErrorForTickedRowsOnly) {
    const int ready = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int refused = rows.AddDevice(L"COM5", L"10.0.0.2", L"23");
    const int unticked = rows.AddDevice(L"COM6", L"10.0.0.3", L"23");
    rows.Toggle(ready);
    rows.Toggle(refused);
    engine.SetReady(ClientOf(ready), true);
    control.Start();
    engine.ClearCalls();

    control.OnTimer(StatusTimer::kId + 1); // someone else's timer
    EXPECT_TRUE(engine.Calls().empty());
    EXPECT_EQ(timer.arms, 1);

    control.OnTimer(StatusTimer::kId);
    EXPECT_EQ(rows.Status(ready), L"Ready");
    EXPECT_EQ(rows.Status(refused), L"Error");
    EXPECT_EQ(rows.Status(unticked), L"Disable");
    // Last row first, each by its own TcpClient.
    const auto& calls = engine.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].id, ClientOf(refused));
    EXPECT_EQ(calls[1].id, ClientOf(ready));
    EXPECT_EQ(timer.arms, 2); // re-armed after the poll

    engine.SetReady(ClientOf(ready), false);
    engine.SetReady(ClientOf(refused), true);
    control.OnTimer(StatusTimer::kId);
    EXPECT_EQ(rows.Status(ready), L"Error");
    EXPECT_EQ(rows.Status(refused), L"Ready");

    // Stop sets every ticked row back to Enable, and a late tick after it polls nothing.
    control.Stop();
    EXPECT_EQ(rows.Status(ready), L"Enable");
    EXPECT_EQ(rows.Status(refused), L"Enable");
    EXPECT_EQ(rows.Status(unticked), L"Disable");
    engine.ClearCalls();
    control.OnTimer(StatusTimer::kId);
    EXPECT_TRUE(engine.Calls().empty());
}

TEST_F(EmulationControlTest, ShutdownTearsDownOnceInOrder) {
    control.StartEngine();
    rows.Toggle(rows.AddDevice(L"COM5", L"10.0.0.1", L"23"));
    rows.Toggle(rows.AddDevice(L"COM6", L"10.0.0.2", L"23"));
    control.Start();
    engine.ClearCalls();

    EXPECT_TRUE(control.Shutdown());
    EXPECT_EQ(engine.CallKinds(),
              (std::vector<EngineCall>{EngineCall::DestroyAllDevices, EngineCall::StopEmulation, EngineCall::Release}));
    EXPECT_TRUE(engine.Devices().empty());
    EXPECT_TRUE(links.Links().empty());
    EXPECT_FALSE(timer.armed);
    EXPECT_TRUE(control.IsShutDown());

    // Escape, the close box and the window's destruction all come by here as well.
    engine.ClearCalls();
    EXPECT_FALSE(control.Shutdown());
    EXPECT_FALSE(control.Shutdown());
    control.OnTimer(StatusTimer::kId);
    control.Start();
    control.Stop();
    rows.Toggle(0);
    rows.Toggle(rows.AddDevice(L"COM7", L"10.0.0.3", L"23"));
    EXPECT_TRUE(engine.Calls().empty());
    EXPECT_TRUE(engine.Clean());
}

// The tray menu's Exit still works while a message box is up, so the teardown can run inside Show.
TEST_F(EmulationControlTest, ExitDuringAFailureMessageLeavesTheEngineAlone) {
    notifier.whileShown = [this] { control.Shutdown(); };
    engine.FailCreate("TcpClient");
    rows.Toggle(rows.AddDevice(L"COM5", L"10.0.0.1", L"23"));
    EXPECT_EQ(notifier.shown.size(), 1u);
    EXPECT_TRUE(control.IsShutDown());
    EXPECT_TRUE(engine.Clean()); // no call after Release, no destroy of a destroyed device
    EXPECT_TRUE(engine.Devices().empty());
}

TEST_F(EmulationControlTest, ExitDuringTheStartFailureMessageLeavesNoTimer) {
    notifier.whileShown = [this] { control.Shutdown(); };
    engine.Fail(EngineCall::StartEmulation);
    control.Start();
    EXPECT_FALSE(timer.armed);
    EXPECT_TRUE(engine.Clean());
}

// One engine call fails throughout a whole run; each failure shows its own message and nothing else,
// and nothing is left in the engine at the end.
class EngineFailureTest : public EmulationControlTest, public ::testing::WithParamInterface<EngineCall> {};

TEST_P(EngineFailureTest, AWholeRunWithOneCallFailing) {
    const EngineCall failing = GetParam();
    engine.Fail(failing);

    control.StartEngine();
    control.DisableStartStop();
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM5", L"10.0.0.2", L"23");
    const int c = rows.AddDevice(L"COM6", L"10.0.0.3", L"23");
    rows.Toggle(a);
    rows.Toggle(b);
    rows.Toggle(c);
    for (int row : {a, b, c}) {
        engine.SetReady(ClientOf(row), true);
    }
    control.Start();
    control.OnTimer(StatusTimer::kId);
    const std::wstring polled = rows.Status(a);
    control.Stop();
    rows.Toggle(b);
    if (failing != EngineCall::DestroyDevice) {
        ExpectLinkTableSound();
    }
    control.Shutdown();

    std::vector<std::wstring> expected;
    switch (failing) {
    case EngineCall::Initialize:
        expected = {L"Initialization error"};
        break;
    case EngineCall::CreateDevice:
        // b's failed tick left it unticked, so the late toggle ticks it again.
        expected.assign(4, L"Error: can not create connector device\n");
        break;
    case EngineCall::StartEmulation:
        expected = {L"Error: can not start emulation"};
        break;
    case EngineCall::StopEmulation:
        expected = {L"Error: can not stop emulation"};
        break;
    default:
        break;
    }
    EXPECT_EQ(notifier.shown, expected);
    const std::wstring expectedPoll = failing == EngineCall::IsReady        ? L"Error"
                                      : failing == EngineCall::CreateDevice ? L"Disable"
                                                                            : L"Ready";
    EXPECT_EQ(polled, expectedPoll);
    if (failing == EngineCall::CreateDevice) {
        for (int row : {a, b, c}) {
            EXPECT_FALSE(rows.IsChecked(row));
            EXPECT_EQ(rows.Status(row), L"Disable");
        }
    }
    if (failing != EngineCall::DestroyAllDevices) {
        EXPECT_TRUE(engine.Devices().empty());
    }
    EXPECT_TRUE(links.Links().empty());
    EXPECT_TRUE(engine.Clean());
}

INSTANTIATE_TEST_SUITE_P(EachCall, EngineFailureTest,
                         ::testing::Values(EngineCall::Initialize, EngineCall::DestroyAllDevices,
                                           EngineCall::CreateDevice, EngineCall::DestroyDevice, EngineCall::IsReady,
                                           EngineCall::StartEmulation, EngineCall::StopEmulation, EngineCall::Release));

} // namespace
