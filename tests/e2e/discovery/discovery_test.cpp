// kavrel.exe on the simulated LAN: what the device servers answer becomes rows, what they are sent is
// what devsim logs, and a ticked row keeps its cells.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
constexpr int kIp = 2, kPort = 3, kMac = 4, kName = 5, kStatus = 6;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// devsim's log, one line per request: "request ti ff0402fb from 198.18.0.1:23 to 255.255.255.255:23".
std::vector<std::string> RequestLog() {
    std::string path = Environment("KAVREL_DEVSIM_LOG");
    std::ifstream log("Z:" + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.rfind("request ", 0) == 0)
            lines.push_back(line);
    return lines;
}

std::vector<std::string> HostAddresses() {
    std::istringstream words(Environment("KAVREL_HOST_ADDRESSES"));
    std::vector<std::string> addresses;
    for (std::string address; words >> address;)
        addresses.push_back(address);
    return addresses;
}

int RowOf(const RemoteListView& list, const std::wstring& mac) {
    for (int r = 0; r < list.RowCount(); ++r)
        if (list.Cell(r, kMac) == mac)
            return r;
    return -1;
}

// The three requests of one search from one address, in order.
std::vector<std::string> SearchFrom(const std::string& address) {
    return {"request ti ff0402fb from " + address + ":23 to 255.255.255.255:23",
            "request lantronix 000100f6 from " + address + ":30718 to 255.255.255.255:30718",
            "request lantronix 000100f8 from " + address + ":30718 to 255.255.255.255:30718"};
}

class Kavrel : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = WaitForWindow(program.Id(), kTitle);
        ASSERT_NE(dialog, nullptr);
        list = std::make_unique<RemoteListView>(GetDlgItem(dialog, 1003));
    }
    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        SaveScreenshot(std::string("discovery-end-") + info->test_suite_name() + "-" + info->name());
        if (HasFailure() && list) {
            for (int r = 0; r < list->RowCount(); ++r) {
                std::wstring line;
                for (int c = 1; c < 7; ++c)
                    line += list->Cell(r, c) + L" | ";
                std::printf("row %d: %ls\n", r, line.c_str());
            }
        }
        if (dialog != nullptr && IsWindow(dialog)) {
            Click(GetDlgItem(dialog, IDOK));
            EXPECT_EQ(program.WaitForExit(10s), 0u);
        }
    }
    void PressSearch() { Click(GetDlgItem(dialog, 1004)); }

    Program program;
    HWND dialog = nullptr;
    std::unique_ptr<RemoteListView> list;
};

using Mixed = Kavrel;
using TwoAddresses = Kavrel;
using Thousand = Kavrel;

} // namespace

TEST_F(Mixed, EveryGoodDeviceGivesOneRowAndBrokenRepliesNone) {
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 4; }, 20s)) << list->RowCount() << " rows";
    std::this_thread::sleep_for(1500ms); // late and broken replies have had their chance
    ASSERT_EQ(list->RowCount(), 4);

    const int ti = RowOf(*list, L"00-1A-2B-3C-4D-01");
    const int lantronix = RowOf(*list, L"00-1A-2B-3C-4D-02");
    const int both = RowOf(*list, L"00-1A-2B-3C-4D-03");
    const int twin = RowOf(*list, L"00-1A-2B-3C-4D-30");
    ASSERT_GE(ti, 0);
    ASSERT_GE(lantronix, 0);
    ASSERT_GE(both, 0);
    ASSERT_GE(twin, 0);

    EXPECT_EQ(list->Cell(ti, kIp), L"198.18.1.1");
    EXPECT_EQ(list->Cell(ti, kPort), L"4001");
    EXPECT_EQ(list->Cell(ti, kName), L"TI only");
    EXPECT_EQ(list->Cell(lantronix, kIp), L"198.18.1.2");
    EXPECT_EQ(list->Cell(lantronix, kPort), L"10001");
    EXPECT_EQ(list->Cell(lantronix, kName), L"Lantronix XPort");
    EXPECT_EQ(list->Cell(both, kIp), L"198.18.1.3");
    EXPECT_EQ(list->Cell(both, kPort), L"4003");
    EXPECT_EQ(list->Cell(both, kName), L"Both ways") << "a TI reply names the row whichever protocol came first";
    EXPECT_EQ(list->Cell(twin, kIp), L"198.18.1.31") << "the later reply of the two refreshes the row";
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        // Wine answers for COM1 to COM9, so the free names start at COM10; row n proposes entry n.
        EXPECT_EQ(list->Cell(r, 1), L"COM" + std::to_wstring(10 + r));
        EXPECT_EQ(list->Cell(r, kStatus), L"Disable");
        EXPECT_FALSE(list->Checked(r));
    }
    SaveScreenshot("discovery-mixed");

    // A second search sends the three requests again and adds no row.
    const auto before = RequestLog();
    PressSearch();
    ASSERT_TRUE(WaitUntil([&] { return RequestLog().size() >= before.size() + 3; }, 10s));
    std::this_thread::sleep_for(1500ms);
    const auto after = RequestLog();
    ASSERT_EQ(after.size(), before.size() + 3);
    EXPECT_EQ(std::vector<std::string>(after.end() - 3, after.end()), SearchFrom("198.18.0.1"));
    EXPECT_EQ(std::vector<std::string>(before.begin(), before.begin() + 3), SearchFrom("198.18.0.1"))
        << "the search at start-up";
    EXPECT_EQ(list->RowCount(), 4);
}

TEST_F(Mixed, TickedRowKeepsItsCellsThroughLaterReplies) {
    ASSERT_TRUE(WaitUntil([&] { return RowOf(*list, L"00-1A-2B-3C-4D-30") >= 0; }, 20s));
    const int twin = RowOf(*list, L"00-1A-2B-3C-4D-30");
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(twin, kIp) == L"198.18.1.31"; }, 5s));

    // Unticked, the row follows the replies: the first twin answers at once, the second 400 ms later.
    auto watch = [&](std::vector<std::wstring>& seen) {
        const auto end = std::chrono::steady_clock::now() + 1500ms;
        while (std::chrono::steady_clock::now() < end) {
            std::wstring ip = list->Cell(twin, kIp);
            if (seen.empty() || seen.back() != ip)
                seen.push_back(ip);
            std::this_thread::sleep_for(10ms);
        }
    };
    std::vector<std::wstring> unticked;
    PressSearch();
    watch(unticked);
    EXPECT_NE(std::find(unticked.begin(), unticked.end(), L"198.18.1.30"), unticked.end())
        << "an unticked row takes each reply";
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(twin, kIp) == L"198.18.1.31"; }, 5s));

    const auto box = list->CheckBoxPoint(twin);
    ASSERT_TRUE(box.has_value());
    ClickAt(*box);
    ASSERT_TRUE(WaitUntil([&] { return list->Checked(twin); }, 5s));
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(twin, kStatus) == L"Enable"; }, 5s)) << "the tick linked the row";
    const std::wstring name = list->Cell(twin, kName);
    const std::wstring port = list->Cell(twin, kPort);

    std::vector<std::wstring> ticked;
    PressSearch();
    watch(ticked);
    EXPECT_EQ(ticked, std::vector<std::wstring>{L"198.18.1.31"}) << "a ticked row takes no reply";
    EXPECT_EQ(list->Cell(twin, kName), name);
    EXPECT_EQ(list->Cell(twin, kPort), port);
    EXPECT_TRUE(list->Checked(twin));
    SaveScreenshot("discovery-ticked");
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

    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);
    RemoteListView list(GetDlgItem(dialog, 1003));
    ASSERT_TRUE(WaitUntil([&] { return RowOf(list, L"00-1A-2B-3C-4D-01") >= 0; }, 20s));
    const int row = RowOf(list, L"00-1A-2B-3C-4D-01");
    const RECT name = list.CellRect(row, kName);
    DoubleClickAt({(name.left + name.right) / 2, (name.top + name.bottom) / 2});
    ASSERT_TRUE(WaitUntil([&] { return !opened().empty(); }, 10s)) << "the shell was asked to open nothing";
    EXPECT_EQ(opened(), std::vector<std::string>{"http:\\\\198.18.1.1"});

    // Below the last row there is no device: nothing opens.
    const RECT last = list.CellRect(list.RowCount() - 1, kName);
    std::this_thread::sleep_for(600ms);
    DoubleClickAt({(last.left + last.right) / 2, last.bottom + 20});
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(opened().size(), 1u);

    Click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST_F(TwoAddresses, EverySearchLeavesFromBothAddresses) {
    const auto addresses = HostAddresses();
    ASSERT_EQ(addresses.size(), 2u);
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 6; }, 20s)) << list->RowCount() << " rows";

    PressSearch();
    WaitUntil([&] { return RequestLog().size() >= 12; }, 10s);
    std::this_thread::sleep_for(1s);
    const auto log = RequestLog();
    for (const auto& line : log)
        std::printf("%s\n", line.c_str());
    ASSERT_EQ(log.size(), 12u) << "three datagrams per address and search, two searches";
    for (size_t search = 0; search < 2; ++search) {
        SCOPED_TRACE(search);
        const auto first = log.begin() + static_cast<long>(search * 6);
        // Every TI request first, then F6 and F8 of each address in turn.
        const auto a = SearchFrom(addresses[0]);
        const auto b = SearchFrom(addresses[1]);
        EXPECT_EQ(std::vector<std::string>(first, first + 6),
                  (std::vector<std::string>{a[0], b[0], a[1], a[2], b[1], b[2]}));
    }
    EXPECT_EQ(list->RowCount(), 6) << "devices answer each address, yet one row each";
}

TEST_F(Thousand, AllDevicesAreListedOnce) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 1000; }, 120s)) << list->RowCount() << " rows";
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("1000 devices listed %lld ms after the window appeared\n", static_cast<long long>(elapsed.count()));

    PressSearch();
    std::this_thread::sleep_for(3s);
    ASSERT_EQ(list->RowCount(), 1000) << "a second search adds no row";
    std::set<std::wstring> macs;
    for (int r = 0; r < 1000; ++r)
        macs.insert(list->Cell(r, kMac));
    EXPECT_EQ(macs.size(), 1000u);
    EXPECT_EQ(macs.count(L""), 0u);
    // 90 free names under Wine (COM10 to COM99): the rows after them are listed without one.
    EXPECT_EQ(list->Cell(89, 1), L"COM99");
    EXPECT_EQ(list->Cell(90, 1), L"");
    EXPECT_EQ(list->Cell(999, 1), L"");
}
