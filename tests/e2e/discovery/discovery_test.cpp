// kavrel.exe on the simulated LAN: what the device servers answer becomes rows, what they are sent is
// what devsim logs, and a ticked row keeps its cells.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

namespace {

// The three requests of one search from one address, in order, as devsim logs them.
std::vector<std::string> SearchFrom(const std::string& address) {
    return {"request ti ff0402fb from " + address + ":23 to 255.255.255.255:23",
            "request lantronix 000100f6 from " + address + ":30718 to 255.255.255.255:30718",
            "request lantronix 000100f8 from " + address + ":30718 to 255.255.255.255:30718"};
}

class Kavrel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(kavrel.dialog, nullptr); }
    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        SaveScreenshot(std::string("discovery-end-") + info->test_suite_name() + "-" + info->name());
        if (HasFailure())
            kavrel.Dump();
        if (kavrel.dialog != nullptr && IsWindow(kavrel.dialog)) {
            Click(kavrel.Item(IDOK));
            EXPECT_EQ(kavrel.program.WaitForExit(10s), 0u);
        }
    }
    void PressSearch() { Click(kavrel.Item(kSearchButton)); }

    MainWindow kavrel;
    RemoteListView* list = kavrel.list.get();
};

using Mixed = Kavrel;
using TwoAddresses = Kavrel;
using Thousand = Kavrel;

} // namespace

TEST_F(Mixed, EveryGoodDeviceGivesOneRowAndBrokenRepliesNone) {
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 4; }, 20s)) << list->RowCount() << " rows";
    std::this_thread::sleep_for(1500ms); // late and broken replies have had their chance
    ASSERT_EQ(list->RowCount(), 4);
    // MAC, IP Address, TCP Port, Name; a TI reply names the row whichever protocol came first, and the later
    // of the two twins refreshes the row.
    const std::vector<std::vector<std::wstring>> expected = {
        {L"00-1A-2B-3C-4D-01", L"198.18.1.1", L"4001", L"TI only"},
        {L"00-1A-2B-3C-4D-02", L"198.18.1.2", L"10001", L"Lantronix XPort"},
        {L"00-1A-2B-3C-4D-03", L"198.18.1.3", L"4003", L"Both ways"},
        {L"00-1A-2B-3C-4D-30", L"198.18.1.31", L"5002", L"Twin B"}};
    for (const auto& device : expected) {
        const int r = list->RowOf(device[0]);
        ASSERT_GE(r, 0) << device[0];
        EXPECT_EQ((std::vector<std::wstring>{list->Cell(r, kColumnIpAddress), list->Cell(r, kColumnTcpPort),
                                             list->Cell(r, kColumnName)}),
                  std::vector<std::wstring>(device.begin() + 1, device.end()));
    }
    for (int r = 0; r < 4; ++r) {
        // Wine answers for COM1 to COM9, so the free names start at COM10; row n proposes entry n.
        EXPECT_EQ(list->Cell(r, kColumnComPort), L"COM" + std::to_wstring(10 + r));
        EXPECT_EQ(list->Cell(r, kColumnStatus), L"Disable");
    }
    SaveScreenshot("discovery-mixed");

    // A second search sends the three requests again and adds no row.
    const auto before = DevsimLog("request ");
    PressSearch();
    ASSERT_TRUE(WaitUntil([&] { return DevsimLog("request ").size() >= before.size() + 3; }, 10s));
    std::this_thread::sleep_for(1500ms);
    const auto after = DevsimLog("request ");
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 3), SearchFrom("198.18.0.1"));
    EXPECT_EQ(std::vector<std::string>(after.begin() + 3, after.end()), SearchFrom("198.18.0.1"));
    EXPECT_EQ(list->RowCount(), 4);
}

// The rule is proven natively; this is the dialog's tick reaching it: the twins answer 400 ms apart with
// different addresses, and a ticked row takes neither.
TEST_F(Mixed, TickedRowKeepsItsCellsThroughLaterReplies) {
    const std::wstring twinMac = L"00-1A-2B-3C-4D-30";
    ASSERT_TRUE(WaitUntil([&] { return list->RowOf(twinMac) >= 0; }, 20s));
    const int twin = list->RowOf(twinMac);
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(twin, kColumnIpAddress) == L"198.18.1.31"; }, 5s));
    ASSERT_TRUE(kavrel.Tick(twinMac));
    ASSERT_TRUE(kavrel.WaitStatus(twinMac, L"Enable")) << "the tick linked the row";

    std::vector<std::wstring> seen;
    PressSearch();
    for (const auto end = std::chrono::steady_clock::now() + 1500ms; std::chrono::steady_clock::now() < end;) {
        if (seen.empty() || seen.back() != list->Cell(twin, kColumnIpAddress))
            seen.push_back(list->Cell(twin, kColumnIpAddress));
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(seen, std::vector<std::wstring>{L"198.18.1.31"}) << "a ticked row takes no reply";
    EXPECT_EQ(list->Cell(twin, kColumnTcpPort), L"5002");
    EXPECT_TRUE(list->Checked(twin));
}

// The web browser is replaced by a recorder for the http addresses the program asks the shell to open.
TEST(Pages, DoubleClickOpensTheDevicePage) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string log = std::string(temp) + "kavrel-urls.txt";
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("KAVREL_URL_LOG", log.c_str());
    const std::wstring command = L"\"" + ProgramFolder() + L"kavrel-url-recorder.exe\" \"%1\"";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    auto opened = [&] {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    };
    MainWindow kavrel; // started after the variable is set, so that the recorder inherits it
    ASSERT_NE(kavrel.dialog, nullptr);
    RemoteListView* list = kavrel.list.get();
    ASSERT_TRUE(WaitUntil([&] { return list->RowOf(L"00-1A-2B-3C-4D-01") >= 0; }, 20s));
    DoubleClickAt(CenterOf(list->CellRect(list->RowOf(L"00-1A-2B-3C-4D-01"), kColumnName)));
    ASSERT_TRUE(WaitUntil([&] { return !opened().empty(); }, 10s)) << "the shell was asked to open nothing";
    EXPECT_EQ(opened(), std::vector<std::string>{"http:\\\\198.18.1.1"});

    // Below the last row there is no device: nothing opens.
    const RECT last = list->CellRect(list->RowCount() - 1, kColumnName);
    std::this_thread::sleep_for(600ms);
    DoubleClickAt({(last.left + last.right) / 2, last.bottom + 20});
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(opened().size(), 1u);
    Click(kavrel.Item(IDOK));
    EXPECT_EQ(kavrel.program.WaitForExit(10s), 0u);
}

TEST_F(TwoAddresses, EverySearchLeavesFromBothAddresses) {
    std::istringstream words(std::getenv("KAVREL_HOST_ADDRESSES") ? std::getenv("KAVREL_HOST_ADDRESSES") : "");
    std::vector<std::string> addresses{std::istream_iterator<std::string>(words), {}};
    ASSERT_EQ(addresses.size(), 2u);
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 6; }, 20s)) << list->RowCount() << " rows";

    PressSearch();
    WaitUntil([&] { return DevsimLog("request ").size() >= 12; }, 10s);
    std::this_thread::sleep_for(1s);
    const auto log = DevsimLog("request ");
    ASSERT_EQ(log.size(), 12u) << "three datagrams per address and search, two searches";
    // Every TI request first, then F6 and F8 of each address in turn.
    const auto a = SearchFrom(addresses[0]);
    const auto b = SearchFrom(addresses[1]);
    const std::vector<std::string> search = {a[0], b[0], a[1], a[2], b[1], b[2]};
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 6), search);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 6, log.end()), search);
    EXPECT_EQ(list->RowCount(), 6) << "devices answer each address, yet one row each";
}

TEST_F(Thousand, AllDevicesAreListedOnce) {
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 1000; }, 120s)) << list->RowCount() << " rows";
    PressSearch();
    std::this_thread::sleep_for(3s);
    ASSERT_EQ(list->RowCount(), 1000) << "a second search adds no row";
    std::set<std::wstring> macs;
    for (int r = 0; r < 1000; ++r)
        macs.insert(list->Cell(r, kColumnMacAddress));
    EXPECT_EQ(macs.size(), 1000u);
    EXPECT_EQ(macs.count(L""), 0u);
    // 90 free names under Wine (COM10 to COM99): the rows after them are listed without one.
    EXPECT_EQ(list->Cell(89, kColumnComPort), L"COM99");
    EXPECT_EQ(list->Cell(90, kColumnComPort), L"");
    EXPECT_EQ(list->Cell(999, kColumnComPort), L"");
}
