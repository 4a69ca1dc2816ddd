#include "emulation/init_strings.h"
#include "links_fixture.h"

#include <gtest/gtest.h>

#include <random>

using namespace kavrel;
using namespace kavrel::test;

namespace {

using PortLinksTest = LinksFixture;

TEST_F(PortLinksTest, FirstTickMakesConnectorSplitterAndTcpClientWithTheirInitStrings) {
    const int row = rows.AddDevice(L"COM12", L"10.0.0.7", L"23");
    rows.Toggle(row);

    const auto& calls = engine.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].type + "/" + calls[1].type + "/" + calls[2].type, "Connector/Splitter/TcpClient");
    EXPECT_EQ(calls[0].init, L"12;1");
    EXPECT_EQ(calls[1].init, L"100;12;0;2400,0,8,1,2,-1;0;0;0");
    EXPECT_EQ(calls[2].init, L"10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0");
    ASSERT_EQ(links.Links().size(), 1u);
    const auto& link = links.Links()[0];
    EXPECT_EQ(link.comName, L"COM12");
    EXPECT_EQ(link.connectorId, calls[0].id);
    EXPECT_EQ(link.splitterId, calls[1].id);
    EXPECT_EQ(link.tcpClientIds, std::vector<std::int32_t>{calls[2].id});
    EXPECT_EQ(ClientOf(row), calls[2].id);
    EXPECT_EQ(rows.Status(row), L"Enable");
    EXPECT_TRUE(buttons.Enabled(DialogControl::Start));
    EXPECT_TRUE(notifier.shown.empty());
    // Names too short for a number and cell texts go in as they stand.
    EXPECT_EQ(ConnectorInit(L"CO"), L";1");
    EXPECT_EQ(TcpClientInit(L"host name", L"x;y", 100), L"host name;x;y;100;2400,0,8,1,2,-1;0;10;;0;0");
}

// A failed tick: its message after the box is cleared again, the row as it was, the devices made for it
// destroyed; Start is offered as soon as a link stood.
TEST_F(PortLinksTest, AFailedCreateUndoesTheTick) {
    const std::vector<std::pair<std::string, std::wstring>> failures = {
        {"Connector", L"Error: can not create connector device\n"},
        {"Splitter", L"Error: can not create splitter device\n"},
        {"TcpClient", L"Error: can not create TcpClient device\n"}};
    for (size_t made = 0; made < failures.size(); ++made) {
        SCOPED_TRACE(failures[made].first);
        const int row = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
        engine.ClearCalls();
        notifier.shown.clear();
        engine.FailCreate(failures[made].first);
        notifier.whileShown = [&] { EXPECT_FALSE(rows.IsChecked(row)) << "the message comes after the undo"; };
        rows.Toggle(row);
        engine.Heal();
        EXPECT_EQ(notifier.shown, std::vector<std::wstring>{failures[made].second});
        EXPECT_FALSE(rows.IsChecked(row));
        EXPECT_FALSE(links.IsLinked(row));
        EXPECT_EQ(rows.Status(row), L"Disable");
        std::vector<std::int32_t> undone; // the Connector, then the Splitter
        for (size_t i = 0; i < made; ++i)
            undone.push_back(engine.Calls()[i].id);
        EXPECT_EQ(DestroyedIds(), undone);
        EXPECT_TRUE(links.Links().empty());
        EXPECT_EQ(buttons.Enabled(DialogControl::Start), made == 2);
        ExpectLinkTableSound();
        notifier.whileShown = nullptr;
    }
    // A TcpClient that fails on an existing link leaves the link and its first row untouched.
    const int first = rows.AddDevice(L"COM5", L"10.0.0.7", L"23");
    const int second = rows.AddDevice(L"COM5", L"10.0.0.8", L"23");
    rows.Toggle(first);
    const auto before = links.Links();
    engine.ClearCalls();
    engine.FailCreate("TcpClient");
    rows.Toggle(second);
    EXPECT_FALSE(rows.IsChecked(second));
    EXPECT_TRUE(DestroyedIds().empty());
    ASSERT_EQ(links.Links().size(), 1u);
    EXPECT_EQ(links.Links()[0].tcpClientIds, before[0].tcpClientIds);
    EXPECT_EQ(rows.Status(first), L"Enable");
    ExpectLinkTableSound();
}

TEST_F(PortLinksTest, LinkNumbersTakeTheLowestFreeNumber) {
    for (int i = 1; i <= 4; ++i)
        rows.AddDevice(L"COM" + std::to_wstring(i), L"10.0.0." + std::to_wstring(i), L"23");
    // A failed link gives its number back.
    engine.FailCreate("TcpClient");
    rows.Toggle(0);
    engine.Heal();
    for (int row : {0, 1, 2})
        rows.Toggle(row);
    ASSERT_EQ(links.Links().size(), 3u);
    EXPECT_EQ(links.Links()[0].linkNumber, 100);
    EXPECT_EQ(links.Links()[1].linkNumber, 101);
    EXPECT_EQ(links.Links()[2].linkNumber, 102);

    // With 101 and 102 alive the count rule would hand out 102 a second time.
    rows.Toggle(0);
    rows.Toggle(3);
    ASSERT_EQ(links.Links().size(), 3u);
    EXPECT_EQ(links.Links().back().comName, L"COM4");
    EXPECT_EQ(links.Links().back().linkNumber, 100);
    EXPECT_EQ(engine.Calls().back().init, L"10.0.0.4;23;100;2400,0,8,1,2,-1;0;10;;0;0");
    rows.Toggle(1);
    rows.Toggle(0);
    EXPECT_EQ(links.Links().back().linkNumber, 101);
    ExpectLinkTableSound();
}

class SharedLinkTest : public LinksFixture, public ::testing::WithParamInterface<bool> {};

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
    ExpectLinkTableSound();

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

// A linked row's COM Port edit is undone; an edit nobody put back still leaves the untick to find the row's
// own devices by id.
TEST_F(PortLinksTest, ALinkedRowKeepsItsComPortAndAnUntickRemovesItsOwnDevices) {
    const int a = rows.AddDevice(L"COM5", L"10.0.0.1", L"23");
    const int b = rows.AddDevice(L"COM6", L"10.0.0.2", L"23");
    const int c = rows.AddDevice(L"COM7", L"10.0.0.3", L"23");
    rows.Toggle(a);
    rows.Toggle(b);
    rows.SetCellText(a, kColumnComPort, L"COM9");
    EXPECT_TRUE(links.RestoreComPort(a));
    EXPECT_EQ(rows.CellText(a, kColumnComPort), L"COM5");
    EXPECT_FALSE(links.RestoreComPort(a)); // nothing to put back
    rows.SetCellText(c, kColumnComPort, L"COM9");
    EXPECT_FALSE(links.RestoreComPort(c)); // an unlinked row takes any name
    EXPECT_EQ(rows.CellText(c, kColumnComPort), L"COM9");

    const std::int32_t clientOfA = ClientOf(a);
    const PortLink linkOfB = links.Links()[1];
    rows.SetCellText(a, kColumnComPort, L"COM6");
    rows.Toggle(a);
    EXPECT_EQ(engine.Devices().count(clientOfA), 0u);
    ASSERT_EQ(links.Links().size(), 1u);
    EXPECT_EQ(links.Links()[0].comName, L"COM6");
    EXPECT_EQ(links.Links()[0].tcpClientIds, linkOfB.tcpClientIds);
    EXPECT_EQ(rows.Status(a), L"Disable");
    ExpectLinkTableSound();
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
        ExpectLinkTableSound();
        if (HasFailure()) {
            FAIL() << "step " << step;
        }
    }
}

} // namespace
