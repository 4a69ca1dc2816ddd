#include "emulation/init_strings.h"
#include "links_fixture.h"

#include <algorithm>
#include <random>

using namespace kavrel;
using namespace kavrel::test;

namespace {

using PortLinksTest = LinksFixture;

TEST_F(PortLinksTest, ATickMakesConnectorSplitterAndTcpClientWithTheirInitStrings) {
    rows.Toggle(AddDevice(L"COM12"));
    EXPECT_EQ(log, (Texts{L"Connector 12;1", L"Splitter 100;12;0;2400,0,8,1,2,-1;0;0;0",
                          L"TcpClient 10.0.0.1;23;100;2400,0,8,1,2,-1;0;10;;0;0"}));
    // Names too short for a number and cell texts go in as they stand.
    EXPECT_EQ(ConnectorInit(L"CO"), L";1");
    EXPECT_EQ(TcpClientInit(L"host name", L"x;y", 100), L"host name;x;y;100;2400,0,8,1,2,-1;0;10;;0;0");
    links.OnCheckChanged(-1, CheckChange::Ticked);
    links.OnCheckChanged(1, CheckChange::Ticked);
    EXPECT_EQ(log.size(), 3u) << "a notification for a row that does not exist";
}

// Random user ticks and unticks, the program's own check changes, COM Port edits put back or not, and failing
// creates, against a model: which rows share which link, the lowest free link number from 100, each row's
// own TcpClient, the statuses, the messages (shown after the undo) and Start.
TEST_F(PortLinksTest, RandomWalkAgainstAModel) {
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
        std::wstring fails;
        failing.clear();
        shown.clear();
        if (op == 0) {
            rows.SetChecked(row, !rows.IsChecked(row));
        } else if (op == 1) {
            rows.SetCellText(row, kColumnComPort, name);
            EXPECT_EQ(links.RestoreComPort(row), linked && name != linkedTo[row]);
            EXPECT_EQ(rows.CellText(row, kColumnComPort), linked ? linkedTo[row] : name);
        } else if (op == 2) {
            rows.SetCellText(row, kColumnComPort, name);
        } else if (op == 3) {
            failing = {std::next(messages.begin(), random() % 3)->first};
        }
        if (op != 0) {
            const std::wstring comName = rows.CellText(row, kColumnComPort);
            const bool tick = !rows.IsChecked(row), newLink = tick && !linked && model.count(comName) == 0;
            if (tick && !linked && !failing.empty() && (newLink || failing.count(L"TcpClient")))
                fails = *failing.begin();
            startEnabled = startEnabled || (newLink && fails != L"Connector" && fails != L"Splitter");
            const std::size_t before = devices.size();
            whileShown = [this, row, before] {
                EXPECT_FALSE(rows.IsChecked(row));
                EXPECT_EQ(devices.size(), before);
            };
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
            } else if (!tick && linked) {
                auto& linkedRows = model[linkedTo[row]].second;
                linkedRows.erase(std::find(linkedRows.begin(), linkedRows.end(), row));
                if (linkedRows.empty())
                    model.erase(linkedTo[row]);
                linkedTo.erase(row);
            }
        }
        EXPECT_EQ(shown, fails.empty() ? Texts{} : Texts{messages.at(fails)});
        EXPECT_EQ(enabled[DialogControl::Start], startEnabled);
        for (int r = 0; r < 8; ++r) {
            EXPECT_EQ(links.IsLinked(r), linkedTo.count(r) > 0) << "row " << r;
            EXPECT_EQ(Status(r), linkedTo.count(r) ? L"Enable" : L"Disable") << "row " << r;
        }
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

} // namespace
