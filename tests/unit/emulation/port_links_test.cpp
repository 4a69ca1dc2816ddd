#include "emulation/port_links.h"

#include "emulation/init_strings.h"
#include "fake_controls.h"
#include "fake_device_rows.h"
#include "fake_serial_engine.h"
#include "link_table_checks.h"

#include <gtest/gtest.h>

#include <random>

using namespace kavrel;
using namespace kavrel::test;

namespace {

const std::wstring kConnectorFailed = L"Error: can not create connector device\n";
const std::wstring kSplitterFailed = L"Error: can not create splitter device\n";
const std::wstring kTcpClientFailed = L"Error: can not create TcpClient device\n";

class PortLinksTest : public ::testing::Test {
protected:
    PortLinksTest() {
        rows.Listen([this](int row, CheckChange change) { links.OnCheckChanged(row, change); });
    }

    std::int32_t ClientOf(int row) const { return static_cast<std::int32_t>(rows.ItemData(row)); }
    bool Live(std::int32_t id) const { return engine.Devices().count(id) > 0; }
    int CreateCalls() const {
        int count = 0;
        for (const auto& call : engine.Calls()) {
            count += call.call == EngineCall::CreateDevice ? 1 : 0;
        }
        return count;
    }
    std::vector<std::int32_t> DestroyedIds() const {
        std::vector<std::int32_t> ids;
        for (const auto& call : engine.Calls()) {
            if (call.call == EngineCall::DestroyDevice) {
                ids.push_back(call.id);
            }
        }
        return ids;
    }
    // A tick that failed: its message, the box cleared again, the row as it was, nothing left behind.
    void ExpectTickUndone(int row, const std::wstring& message) {
        EXPECT_EQ(notifier.shown, std::vector<std::wstring>{message});
        EXPECT_FALSE(rows.IsChecked(row));
        EXPECT_FALSE(links.IsLinked(row));
        EXPECT_EQ(rows.Status(row), L"Disable");
        ExpectLinkTableSound(links, engine);
    }

    FakeSerialEngine engine;
    FakeDeviceRows rows;
    FakeButtons buttons;
    FakeNotifier notifier;
    PortLinks links{engine, rows, buttons, notifier};
};

TEST_F(PortLinksTest, FirstTickMakesConnectorSplitterAndTcpClientWithTheirInitStrings) {
    const int row = rows.AddDevice(L"COM12", L"10.0.0.7", L"23");
    rows.Toggle(row);

    const auto& calls = engine.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].type, "Connector");
    EXPECT_EQ(calls[0].init, L"12;1");
    EXPECT_EQ(calls[1].type, "Splitter");
    EXPECT_EQ(calls[1].init, L"100;12;0;2400,0,8,1,2,-1;0;0;0");
    EXPECT_EQ(calls[2].type, "TcpClient");
    EXPECT_EQ(calls[2].init, L"10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0");

    ASSERT_EQ(links.Links().size(), 1u);
    const auto& link = links.Links()[0];
    EXPECT_EQ(link.comName, L"COM12");
    EXPECT_EQ(link.connectorId, calls[0].id);
    EXPECT_EQ(link.splitterId, calls[1].id);
    EXPECT_EQ(link.linkNumber, 100);
    EXPECT_EQ(link.tcpClientIds, std::vector<std::int32_t>{calls[2].id});
    EXPECT_EQ(rows.ItemData(row), calls[2].id);
    EXPECT_EQ(links.LinkedClient(row), calls[2].id);
    EXPECT_EQ(rows.Status(row), L"Enable");
    EXPECT_TRUE(rows.IsChecked(row));
    EXPECT_TRUE(buttons.Enabled(DialogControl::Start));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(PortLinksTest, ConnectorFailureUndoesTheTick) {
    const int row = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
    engine.FailCreate("Connector");
    rows.Toggle(row);

    ExpectTickUndone(row, kConnectorFailed);
    EXPECT_TRUE(links.Links().empty());
    EXPECT_EQ(CreateCalls(), 1);
    EXPECT_FALSE(buttons.Enabled(DialogControl::Start));
}

TEST_F(PortLinksTest, SplitterFailureDestroysTheNewConnector) {
    const int row = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
    engine.FailCreate("Splitter");
    rows.Toggle(row);

    ExpectTickUndone(row, kSplitterFailed);
    EXPECT_TRUE(links.Links().empty());
    EXPECT_EQ(DestroyedIds(), std::vector<std::int32_t>{engine.Calls()[0].id});
    EXPECT_FALSE(buttons.Enabled(DialogControl::Start));
}

TEST_F(PortLinksTest, TcpClientFailureOnANewLinkDestroysConnectorThenSplitter) {
    const int row = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
    engine.FailCreate("TcpClient");
    rows.Toggle(row);

    ExpectTickUndone(row, kTcpClientFailed);
    EXPECT_TRUE(links.Links().empty());
    const auto& calls = engine.Calls();
    EXPECT_EQ(DestroyedIds(), (std::vector<std::int32_t>{calls[0].id, calls[1].id}));
    // Start was offered as soon as the link stood; taking it back is not the link's business.
    EXPECT_TRUE(buttons.Enabled(DialogControl::Start));
}

TEST_F(PortLinksTest, TcpClientFailureOnAnExistingLinkLeavesItUntouched) {
    const int first = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
    const int second = rows.AddDevice(L"COM5", L"10.0.0.8", L"23");
    rows.Toggle(first);
    const auto before = links.Links();
    engine.ClearCalls();

    engine.FailCreate("TcpClient");
    rows.Toggle(second);

    ExpectTickUndone(second, kTcpClientFailed);
    EXPECT_TRUE(DestroyedIds().empty());
    ASSERT_EQ(links.Links().size(), 1u);
    EXPECT_EQ(links.Links()[0].tcpClientIds, before[0].tcpClientIds);
    EXPECT_TRUE(links.IsLinked(first));
    EXPECT_EQ(rows.Status(first), L"Enable");
}

TEST_F(PortLinksTest, LinkNumbersTakeTheLowestFreeNumber) {
    const int a = rows.AddDevice(L"COM1", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM2", L"10.0.0.2", L"23");
    const int c = rows.AddDevice(L"COM3", L"10.0.0.3", L"23");
    const int d = rows.AddDevice(L"COM4", L"10.0.0.4", L"23");
    rows.Toggle(a);
    rows.Toggle(b);
    rows.Toggle(c);
    ASSERT_EQ(links.Links().size(), 3u);
    EXPECT_EQ(links.Links()[0].linkNumber, 100);
    EXPECT_EQ(links.Links()[1].linkNumber, 101);
    EXPECT_EQ(links.Links()[2].linkNumber, 102);

    // With 101 and 102 alive the count rule would hand out 102 a second time.
    rows.Toggle(a);
    rows.Toggle(d);
    ASSERT_EQ(links.Links().size(), 3u);
    EXPECT_EQ(links.Links().back().comName, L"COM4");
    EXPECT_EQ(links.Links().back().linkNumber, 100);
    EXPECT_EQ(engine.Calls().back().init, L"10.0.0.4;23;100;2400,0,8,1,2,-1;0;10;;0;0");

    rows.Toggle(b);
    rows.Toggle(a);
    EXPECT_EQ(links.Links().back().linkNumber, 101);
    ExpectLinkTableSound(links, engine);
}

TEST_F(PortLinksTest, AFailedLinkGivesItsNumberBack) {
    const int a = rows.AddDevice(L"COM1", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM2", L"10.0.0.2", L"23");
    engine.FailCreate("TcpClient");
    rows.Toggle(a);
    engine.Heal();
    rows.Toggle(b);
    ASSERT_EQ(links.Links().size(), 1u);
    EXPECT_EQ(links.Links()[0].linkNumber, 100);
}

class SharedLinkTest : public PortLinksTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SharedLinkTest, TwoRowsOnOneNameShareOneLinkUntilTheLastUntick) {
    const int a = rows.AddDevice(L"COM7", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM7", L"10.0.0.2", L"4001");
    rows.Toggle(a);
    rows.Toggle(b);

    EXPECT_EQ(engine.CountOf("Connector"), 1);
    EXPECT_EQ(engine.CountOf("Splitter"), 1);
    EXPECT_EQ(engine.CountOf("TcpClient"), 2);
    ASSERT_EQ(links.Links().size(), 1u);
    const PortLink link = links.Links()[0];
    EXPECT_EQ(link.tcpClientIds, (std::vector<std::int32_t>{ClientOf(a), ClientOf(b)}));
    EXPECT_EQ(engine.Devices().at(ClientOf(a)).init, L"10.0.0.1;23;100;2400,0,8,1,2,-1;0;10;;0;0");
    EXPECT_EQ(engine.Devices().at(ClientOf(b)).init, L"10.0.0.2;4001;100;2400,0,8,1,2,-1;0;10;;0;0");

    const int firstOut = GetParam() ? a : b;
    const int lastOut = GetParam() ? b : a;
    engine.ClearCalls();
    rows.Toggle(firstOut);
    EXPECT_EQ(DestroyedIds(), std::vector<std::int32_t>{ClientOf(firstOut)});
    EXPECT_EQ(rows.Status(firstOut), L"Disable");
    EXPECT_EQ(rows.Status(lastOut), L"Enable");
    ExpectLinkTableSound(links, engine);

    engine.ClearCalls();
    rows.Toggle(lastOut);
    EXPECT_EQ(DestroyedIds(), (std::vector<std::int32_t>{ClientOf(lastOut), link.splitterId, link.connectorId}));
    EXPECT_TRUE(links.Links().empty());
    EXPECT_TRUE(engine.Devices().empty());
    EXPECT_TRUE(buttons.Enabled(DialogControl::Start)); // removing links changes no control
}

INSTANTIATE_TEST_SUITE_P(BothOrders, SharedLinkTest, ::testing::Bool());

TEST_F(PortLinksTest, OnlyTheUsersTickOfAListedRowLinks) {
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM6", L"10.0.0.2", L"23");
    rows.Toggle(a);
    engine.ClearCalls();
    // The program's own check changes, notifications that are no tick, and rows that do not exist.
    rows.SetChecked(a, false);
    rows.SetChecked(b, true);
    links.OnCheckChanged(b, CheckChange::None);
    links.OnCheckChanged(-1, CheckChange::Ticked);
    links.OnCheckChanged(rows.RowCount(), CheckChange::Ticked);
    EXPECT_TRUE(engine.Calls().empty());
    EXPECT_TRUE(links.IsLinked(a));
    EXPECT_FALSE(links.IsLinked(b));

    // b has no devices, so its untick has none to remove.
    rows.Toggle(b);
    EXPECT_TRUE(engine.Calls().empty());
    rows.Toggle(a); // ticked again while still linked: no second TcpClient
    EXPECT_EQ(engine.CountOf("TcpClient"), 1);
    rows.Toggle(a);
    EXPECT_FALSE(links.IsLinked(a));
    EXPECT_TRUE(engine.Devices().empty());
}

TEST_F(PortLinksTest, ALinkedRowKeepsItsComPort) {
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM6", L"10.0.0.2", L"23");
    EXPECT_TRUE(links.ComPortEditable(a));
    rows.Toggle(a);
    EXPECT_FALSE(links.ComPortEditable(a));
    EXPECT_TRUE(links.ComPortEditable(b));

    rows.SetCellText(a, kColumnComPort, L"COM9");
    EXPECT_TRUE(links.RestoreComPort(a));
    EXPECT_EQ(rows.CellText(a, kColumnComPort), L"COM5");
    EXPECT_FALSE(links.RestoreComPort(a)); // nothing to put back

    rows.SetCellText(b, kColumnComPort, L"COM9");
    EXPECT_FALSE(links.RestoreComPort(b)); // an unlinked row takes any name
    EXPECT_EQ(rows.CellText(b, kColumnComPort), L"COM9");

    rows.Toggle(a);
    EXPECT_TRUE(links.ComPortEditable(a));
}

TEST_F(PortLinksTest, AnUntickRemovesTheRowsOwnDevicesWhateverItsComPortSays) {
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM6", L"10.0.0.2", L"23");
    rows.Toggle(a);
    rows.Toggle(b);
    const std::int32_t clientOfA = ClientOf(a);
    const PortLink linkOfB = links.Links()[1];

    // The cell changed and nobody put it back: the untick still finds a's devices by a's own id.
    rows.SetCellText(a, kColumnComPort, L"COM6");
    rows.Toggle(a);

    EXPECT_FALSE(Live(clientOfA));
    ASSERT_EQ(links.Links().size(), 1u);
    EXPECT_EQ(links.Links()[0].comName, L"COM6");
    EXPECT_EQ(links.Links()[0].tcpClientIds, linkOfB.tcpClientIds);
    EXPECT_EQ(rows.Status(a), L"Disable");
    ExpectLinkTableSound(links, engine);
}

TEST_F(PortLinksTest, AFailedDestroyStillUnlinksTheRow) {
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    rows.Toggle(a);
    engine.ClearCalls();
    engine.Fail(EngineCall::DestroyDevice);
    rows.Toggle(a);

    EXPECT_EQ(DestroyedIds().size(), 3u);
    EXPECT_TRUE(links.Links().empty());
    EXPECT_FALSE(links.IsLinked(a));
    EXPECT_EQ(rows.Status(a), L"Disable");
    EXPECT_TRUE(notifier.shown.empty());
}

// Random ticks, unticks, COM Port edits and engine failures; the table must stay sound throughout.
TEST_F(PortLinksTest, RandomSequencesKeepTheTableSound) {
    const std::vector<std::wstring> names{L"COM1", L"COM2", L"COM3"};
    for (int i = 0; i < 8; ++i) {
        rows.AddDevice(names[i % names.size()], L"10.0.0." + std::to_wstring(i + 1), L"23");
    }
    std::mt19937 random(12345);
    for (int step = 0; step < 2000; ++step) {
        engine.Heal();
        const int row = static_cast<int>(random() % 8);
        switch (random() % 6) {
        case 0:
            engine.FailCreate(random() % 2 ? "TcpClient" : (random() % 2 ? "Splitter" : "Connector"));
            break;
        case 1:
            rows.SetCellText(row, kColumnComPort, names[random() % names.size()]);
            links.RestoreComPort(row);
            break;
        case 2:
            rows.SetCellText(row, kColumnComPort, names[random() % names.size()]);
            break;
        default:
            break;
        }
        const bool wasChecked = rows.IsChecked(row);
        rows.Toggle(row);
        ASSERT_EQ(links.IsLinked(row), rows.IsChecked(row)) << "step " << step;
        if (!wasChecked && rows.IsChecked(row)) {
            EXPECT_EQ(rows.Status(row), L"Enable");
        }
        ExpectLinkTableSound(links, engine);
        if (HasFailure()) {
            FAIL() << "step " << step;
        }
    }
}

} // namespace
