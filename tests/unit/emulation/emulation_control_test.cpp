#include "links_fixture.h"

using namespace kavrel;
using namespace kavrel::test;

namespace {

class EmulationControlTest : public LinksFixture {
protected:
    // Start, Stop, Search, device list.
    std::vector<bool> Controls() {
        return {enabled[DialogControl::Start], enabled[DialogControl::Stop], enabled[DialogControl::Search],
                enabled[DialogControl::DeviceList]};
    }
    const std::vector<bool> kRunning{false, true, false, false};
    const std::vector<bool> kStopped{true, false, true, true};
};

TEST_F(EmulationControlTest, StartPollsEachTickedRowByItsOwnTcpClientAndStopSetsEnable) {
    enabled[DialogControl::Stop] = true;
    control.DisableStartStop();
    EXPECT_EQ(Controls(), (std::vector<bool>{false, false, true, true}));
    const int a = AddDevice(L"COM5"), b = AddDevice(L"COM5"), noLink = AddDevice(L"COM6"),
              unticked = AddDevice(L"COM7");
    rows.Toggle(a);
    EXPECT_EQ(Controls(), kStopped) << "a new link enables Start";
    rows.Toggle(b);
    rows.SetChecked(noLink, true);
    ready.insert(ClientOf(a));
    log.clear();
    control.Start();
    EXPECT_EQ(log, Texts{L"Start"}) << "the first poll waits for the timer";
    EXPECT_EQ(Controls(), kRunning);
    control.OnTimer(kId + 1); // someone else's timer
    control.OnTimer(kId);
    EXPECT_EQ(
        log, (Texts{L"Start", L"IsReady " + std::to_wstring(ClientOf(b)), L"IsReady " + std::to_wstring(ClientOf(a))}));
    EXPECT_EQ((Texts{Status(a), Status(b), Status(noLink), Status(unticked)}),
              (Texts{L"Ready", L"Error", L"Error", L"Disable"}));
    EXPECT_EQ(arms, 2) << "re-armed after the poll";

    control.Stop();
    EXPECT_EQ((Texts{Status(a), Status(b), Status(noLink), Status(unticked)}),
              (Texts{L"Enable", L"Enable", L"Enable", L"Disable"}));
    EXPECT_EQ(Controls(), kStopped);
    EXPECT_FALSE(armed);
    log.clear();
    control.OnTimer(kId);
    EXPECT_TRUE(log.empty()) << "a late tick of the stopped timer";
    rows.Toggle(unticked);
    EXPECT_EQ(Controls(), kStopped);

    // A failed start still runs and a failed stop still stops, each with its message.
    failing = {L"Start", L"Stop"};
    control.Start();
    EXPECT_EQ(Controls(), kRunning);
    EXPECT_TRUE(armed);
    control.Stop();
    EXPECT_EQ(Controls(), kStopped);
    EXPECT_FALSE(armed);
    EXPECT_EQ(shown, (Texts{L"Error: can not start emulation", L"Error: can not stop emulation"}));
}

TEST_F(EmulationControlTest, ShutdownTearsDownOnceInOrderAndKillsTheTimer) {
    EXPECT_TRUE(control.StartEngine());
    EXPECT_EQ(log, (Texts{L"Initialize", L"DestroyAll"}));
    rows.Toggle(AddDevice(L"COM5"));
    control.Start();
    log.clear();
    EXPECT_TRUE(control.Shutdown());
    EXPECT_EQ(log, (Texts{L"DestroyAll", L"Stop", L"Release"}));
    EXPECT_FALSE(armed);
    EXPECT_TRUE(links.Links().empty());
    // Escape, the close box and the window's destruction all come by here as well.
    log.clear();
    EXPECT_FALSE(control.Shutdown());
    control.OnTimer(kId);
    control.Start();
    control.Stop();
    rows.Toggle(0);
    rows.Toggle(AddDevice(L"COM7"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(misuse, 0);
}

// The tray menu's Exit works while a message box is up, so the teardown can run inside Show.
TEST_F(EmulationControlTest, ExitDuringAFailedTicksMessageLeavesTheEngineAlone) {
    whileShown = [this] { control.Shutdown(); };
    failing = {L"TcpClient"};
    rows.Toggle(AddDevice(L"COM5"));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(devices.empty());
    EXPECT_EQ(misuse, 0);
}

TEST_F(EmulationControlTest, ExitDuringTheFailedStartsMessageLeavesNoTimer) {
    whileShown = [this] { control.Shutdown(); };
    failing = {L"Start"};
    control.Start();
    EXPECT_FALSE(armed);
    EXPECT_EQ(misuse, 0);
}

// One engine call fails throughout a whole run: each failure shows its own message and nothing else, an untick
// still unlinks, and the teardown leaves nothing behind.
class EngineFailureTest : public EmulationControlTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(EngineFailureTest, AWholeRunWithOneCallFailing) {
    const std::wstring call = GetParam();
    failing = {call};
    control.StartEngine();
    const int a = AddDevice(L"COM5"), b = AddDevice(L"COM5"), c = AddDevice(L"COM6");
    for (int row : {a, b, c})
        rows.Toggle(row);
    for (int row : {a, b, c})
        ready.insert(ClientOf(row));
    control.Start();
    control.OnTimer(kId);
    const std::wstring polled = Status(a);
    control.Stop();
    rows.Toggle(b);
    EXPECT_EQ(Status(b), L"Disable");
    EXPECT_FALSE(links.IsLinked(b));
    control.Shutdown();

    const std::map<std::wstring, Texts> messages{
        {L"Initialize", {L"Initialization error"}},
        {L"Connector", Texts(4, L"Error: can not create connector device\n")}, // b's second tick fails too
        {L"Start", {L"Error: can not start emulation"}},
        {L"Stop", {L"Error: can not stop emulation"}}};
    EXPECT_EQ(shown, messages.count(call) ? messages.at(call) : Texts{});
    EXPECT_EQ(polled, call == L"IsReady" ? L"Error" : call == L"Connector" ? L"Disable" : L"Ready");
    EXPECT_EQ(devices.empty(), call != L"DestroyAll");
    EXPECT_EQ(misuse, 0);
}

INSTANTIATE_TEST_SUITE_P(EachCall, EngineFailureTest,
                         ::testing::Values(L"Initialize", L"DestroyAll", L"Connector", L"Destroy", L"IsReady", L"Start",
                                           L"Stop", L"Release"));

} // namespace
