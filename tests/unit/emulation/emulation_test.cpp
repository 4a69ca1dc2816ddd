#include "core/buttons.h"
#include "core/notifier.h"
#include "core/status_timer.h"
#include "emulation/emulation_control.h"
#include "emulation/init_strings.h"
#include "emulation/port_links.h"
#include "fake_device_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

using namespace kavrel;
using kavrel::test::FakeDeviceRows;

namespace {

using Texts = std::vector<std::wstring>;

// The fixture plays the engine, the buttons, the message boxes and the status timer. The engine logs each call as
// "<kind> <argument>", fails every call of a kind in `failing`, and counts misuse a real engine would punish:
// destroying what is not a live device, any call after Release.
class EmulationTest : public ::testing::Test, public SerialEngine, public Buttons, public Notifier, public StatusTimer {
protected:
    EmulationTest() {
        rows.onCheckChanged = [this](int row, CheckChange change) { links.OnCheckChanged(row, change); };
    }

    bool Initialize() override { return Call(L"Initialize"); }
    bool DestroyAllDevices() override {
        const bool done = Call(L"DestroyAll");
        if (done)
            devices.clear();
        return done;
    }
    std::int32_t CreateDevice(const char* type, const std::wstring& init) override {
        const std::string kind = type;
        const std::wstring device = std::wstring(kind.begin(), kind.end()) + L" " + init;
        if (!Call(device))
            return -1;
        devices[nextId] = device;
        return nextId++;
    }
    bool DestroyDevice(std::int32_t id) override {
        const bool done = Call(L"Destroy " + std::to_wstring(id));
        misuse += done && devices.erase(id) == 0;
        return done;
    }
    bool IsReady(std::int32_t id) override { return Call(L"IsReady " + std::to_wstring(id)) && !refusing.count(id); }
    bool StartEmulation() override { return Call(L"Start"); }
    bool StopEmulation() override { return Call(L"Stop"); }
    void Release() override {
        Call(L"Release");
        released = true;
    }
    void Enable(DialogControl which, bool on) override { enabled[static_cast<std::size_t>(which)] = on ? '1' : '0'; }
    void Show(const std::wstring& text) override {
        shown.push_back(text);
        if (whileShown) // a message box runs a message loop: other handlers may run before it returns
            whileShown();
    }
    std::uintptr_t Arm() override {
        armed = true;
        return kId;
    }
    void Kill(std::uintptr_t value) override { armed = armed && value != kId; }

    bool Call(const std::wstring& call) {
        misuse += released;
        log.push_back(call);
        return failing.count(call.substr(0, call.find(L' '))) == 0;
    }
    // A row as discovery leaves it.
    int AddDevice(const std::wstring& comPort) {
        const int row = rows.AppendRow();
        rows.SetCellText(row, kColumnComPort, comPort);
        rows.SetCellText(row, kColumnIpAddress, L"10.0.0." + std::to_wstring(row + 1));
        rows.SetCellText(row, kColumnTcpPort, L"23");
        rows.SetCellText(row, kColumnStatus, L"Disable");
        return row;
    }
    std::wstring Status(int row) const { return rows.CellText(row, kColumnStatus); }
    std::int32_t ClientOf(int row) const { return static_cast<std::int32_t>(rows.ItemData(row)); }

    FakeDeviceRows rows;
    PortLinks links{*this, rows, *this, *this};
    EmulationControl control{*this, rows, *this, *this, *this, links};
    std::map<std::int32_t, std::wstring> devices; // the live ones: "<type> <init>"
    std::set<std::wstring> failing;
    std::set<std::int32_t> refusing;
    Texts log, shown;
    std::function<void()> whileShown;
    std::string enabled = "0011"; // Start, Stop, Search, device list: as the dialog leaves them after start-up
    std::int32_t nextId = 1;
    int misuse = 0;
    bool released = false, armed = false;
};

TEST_F(EmulationTest, ATickMakesConnectorSplitterAndTcpClientWithTheirInitStrings) {
    rows.Toggle(AddDevice(L"COM12"));
    EXPECT_EQ(log, (Texts{L"Connector 12;1", L"Splitter 100;12;0;2400,0,8,1,2,-1;0;0;0",
                          L"TcpClient 10.0.0.1;23;100;2400,0,8,1,2,-1;0;10;;0;0"}));
    links.OnCheckChanged(-1, CheckChange::Ticked);
    links.OnCheckChanged(1, CheckChange::Ticked);
    EXPECT_EQ(log.size(), 3u) << "a notification for a row that does not exist";
}

// Random user ticks and unticks, the program's own check changes, COM Port edits put back or not, and failing
// creates, against a model: which rows share which link, the lowest free link number from 100, each row's
// own TcpClient, the statuses, the messages (shown after the undo) and Start.
TEST_F(EmulationTest, RandomWalkAgainstAModel) {
    const Texts names{L"COM1", L"COM2", L"COM3"};
    const std::map<std::wstring, std::wstring> messages{{L"Connector", L"Error: can not create connector device\n"},
                                                        {L"Splitter", L"Error: can not create splitter device\n"},
                                                        {L"TcpClient", L"Error: can not create TcpClient device\n"}};
    for (int i = 0; i < 8; ++i)
        AddDevice(names[i % 3]);
    std::map<int, std::wstring> linkedTo;                           // row: the name it was linked with
    std::map<std::wstring, std::pair<int, std::vector<int>>> model; // name: link number, rows in link order
    bool startEnabled = false;
    std::mt19937 random(12345);
    for (int step = 0; step < 2000 && !HasFailure(); ++step) {
        SCOPED_TRACE(step);
        const int row = static_cast<int>(random() % 8);
        const std::wstring name = names[random() % 3];
        const bool linked = linkedTo.count(row) > 0;
        const unsigned op = random() % 8;
        failing.clear();
        shown.clear();
        if (op == 0) {
            rows.SetChecked(row, !rows.IsChecked(row));
        } else if (op <= 2) {
            rows.SetCellText(row, kColumnComPort, name);
            EXPECT_TRUE(op == 2 || links.RestoreComPort(row) == (linked && name != linkedTo[row]));
            EXPECT_EQ(rows.CellText(row, kColumnComPort), op == 1 && linked ? linkedTo[row] : name);
        } else if (op == 3) {
            failing = {std::next(messages.begin(), random() % 3)->first};
        }
        const std::wstring comName = rows.CellText(row, kColumnComPort);
        const bool tick = op != 0 && !rows.IsChecked(row), newLink = tick && !linked && model.count(comName) == 0;
        const std::wstring fails =
            tick && !linked && !failing.empty() && (newLink || failing.count(L"TcpClient")) ? *failing.begin() : L"";
        startEnabled = startEnabled || (newLink && fails != L"Connector" && fails != L"Splitter");
        const std::size_t before = devices.size();
        whileShown = [this, row, before] {
            EXPECT_TRUE(!rows.IsChecked(row) && devices.size() == before) << "the message comes after the undo";
        };
        if (op != 0)
            rows.Toggle(row);
        if (newLink && fails.empty()) {
            int number = 100;
            while (std::any_of(model.begin(), model.end(), [&](const auto& l) { return l.second.first == number; }))
                ++number;
            model[comName].first = number;
        }
        if (tick && !linked && fails.empty()) {
            model[comName].second.push_back(row);
            linkedTo[row] = comName;
        } else if (op != 0 && !tick && linked) {
            auto& linkedRows = model[linkedTo[row]].second;
            linkedRows.erase(std::find(linkedRows.begin(), linkedRows.end(), row));
            if (linkedRows.empty())
                model.erase(linkedTo[row]);
            linkedTo.erase(row);
        }
        EXPECT_EQ(shown, fails.empty() ? Texts{} : Texts{messages.at(fails)});
        EXPECT_EQ(enabled[0] == '1', startEnabled);
        for (int r = 0; r < 8; ++r)
            EXPECT_EQ(Status(r), linkedTo.count(r) ? L"Enable" : L"Disable") << "row " << r;
        ASSERT_EQ(links.Links().size(), model.size());
        std::size_t live = 0;
        for (const auto& link : links.Links()) {
            const auto& [number, linkedRows] = model.at(link.comName);
            EXPECT_EQ(link.linkNumber, number);
            EXPECT_EQ(devices[link.connectorId], L"Connector " + ConnectorInit(link.comName));
            EXPECT_EQ(devices[link.splitterId], L"Splitter " + SplitterInit(number, link.comName));
            ASSERT_EQ(link.tcpClientIds.size(), linkedRows.size());
            for (std::size_t i = 0; i < linkedRows.size(); ++i) {
                EXPECT_EQ(link.tcpClientIds[i], ClientOf(linkedRows[i]));
                EXPECT_EQ(devices[ClientOf(linkedRows[i])],
                          L"TcpClient " + TcpClientInit(rows.CellText(linkedRows[i], kColumnIpAddress), L"23", number));
            }
            live += 2 + linkedRows.size();
        }
        EXPECT_EQ(devices.size(), live) << "devices left behind";
        EXPECT_EQ(misuse, 0);
    }
}

TEST_F(EmulationTest, StartPollsEachTickedRowByItsOwnTcpClientAndStopSetsEnable) {
    const int a = AddDevice(L"COM5"), b = AddDevice(L"COM5"), noLink = AddDevice(L"COM6"),
              unticked = AddDevice(L"COM7");
    rows.Toggle(a);
    rows.Toggle(b);
    rows.SetChecked(noLink, true);
    refusing.insert(ClientOf(b));
    log.clear();
    control.Start();
    EXPECT_EQ(log, Texts{L"Start"}) << "the first poll waits for the timer";
    EXPECT_EQ(enabled, "0100");
    control.OnTimer(kId + 1); // someone else's timer
    control.OnTimer(kId);
    EXPECT_EQ(
        log, (Texts{L"Start", L"IsReady " + std::to_wstring(ClientOf(b)), L"IsReady " + std::to_wstring(ClientOf(a))}));
    EXPECT_EQ((Texts{Status(a), Status(b), Status(noLink), Status(unticked)}),
              (Texts{L"Ready", L"Error", L"Error", L"Disable"}));

    control.Stop();
    EXPECT_EQ((Texts{Status(a), Status(b), Status(noLink), Status(unticked)}),
              (Texts{L"Enable", L"Enable", L"Enable", L"Disable"}));
    EXPECT_EQ(enabled, "1011");
    EXPECT_FALSE(armed);
    log.clear();
    control.OnTimer(kId);
    EXPECT_TRUE(log.empty()) << "a late tick of the stopped timer";
}

// The tray menu's Exit works while a message box is up, so the teardown may run inside one.
TEST_F(EmulationTest, ExitDuringTheFailedStartsMessageTearsDownOnceAndKillsTheTimer) {
    EXPECT_TRUE(control.StartEngine());
    EXPECT_EQ(log, (Texts{L"Initialize", L"DestroyAll"}));
    rows.Toggle(AddDevice(L"COM5"));
    failing = {L"Start"};
    whileShown = [this] { EXPECT_TRUE(control.Shutdown()); };
    log.clear();
    control.Start();
    EXPECT_EQ(log, (Texts{L"Start", L"DestroyAll", L"Stop", L"Release"}));
    EXPECT_FALSE(armed);
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

// One engine call fails throughout a whole run: each failure shows its own message and nothing else, a failed
// start still polls, a failed stop still stops, an untick still unlinks, and the teardown leaves nothing behind.
class EngineFailureTest : public EmulationTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(EngineFailureTest, AWholeRunWithOneCallFailing) {
    const std::wstring call = GetParam();
    failing = {call};
    control.StartEngine();
    const int a = AddDevice(L"COM5"), b = AddDevice(L"COM5"), c = AddDevice(L"COM6");
    for (int row : {a, b, c})
        rows.Toggle(row);
    control.Start();
    control.OnTimer(kId);
    const std::wstring polled = Status(a);
    control.Stop();
    EXPECT_EQ(enabled, "1011");
    EXPECT_FALSE(armed);
    rows.Toggle(b);
    EXPECT_TRUE(Status(b) == L"Disable" && !links.IsLinked(b)) << "an untick unlinks";
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
