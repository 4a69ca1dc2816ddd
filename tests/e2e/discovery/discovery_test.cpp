// kavrel.exe in the simulated LAN: the device servers' answers become rows; devsim logs what they are sent.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>

using namespace kavrel::e2e;

namespace {

// One search as devsim logs it, from the host addresses 198.18.0.1 and .2.
const std::vector<std::string> kSearch = {"request ti ff0402fb from 198.18.0.1:23 to 255.255.255.255:23",
                                          "request ti ff0402fb from 198.18.0.2:23 to 255.255.255.255:23",
                                          "request lantronix 000100f6 from 198.18.0.1:30718 to 255.255.255.255:30718",
                                          "request lantronix 000100f8 from 198.18.0.1:30718 to 255.255.255.255:30718",
                                          "request lantronix 000100f6 from 198.18.0.2:30718 to 255.255.255.255:30718",
                                          "request lantronix 000100f8 from 198.18.0.2:30718 to 255.255.255.255:30718"};

class Kavrel : public ::testing::Test {
protected:
    // Makes kavrel-url-recorder the shell's http handler, before kavrel.exe starts and inherits the log's name.
    struct UrlRecorder {
        UrlRecorder() {
            SetEnvironmentVariableA("KAVREL_URL_LOG", log);
            const std::wstring command = L"\"" + ProgramFolder() + L"kavrel-url-recorder.exe\" \"%1\"";
            RegSetKeyValueW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, REG_SZ, command.c_str(),
                            static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        }
        std::vector<std::string> Opened() const {
            std::ifstream in(log);
            return {std::istream_iterator<std::string>(in), {}};
        }
        const char* log = "C:\\windows\\temp\\kavrel-urls.txt";
    };

    void SetUp() override { ASSERT_NE(kavrel.dialog, nullptr); }
    void TearDown() override {
        SaveScreenshot(std::string("discovery-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        if (IsWindow(kavrel.dialog)) {
            Click(kavrel.Item(IDOK));
            EXPECT_EQ(kavrel.program.WaitForExit(10s), 0u);
        }
    }
    // Searches again; returns devsim's request log once it holds `requests` lines and the answers are in.
    std::vector<std::string> Search(std::size_t requests) {
        Click(kavrel.Item(kSearchButton));
        WaitUntil([&] { return DevsimLog("request ").size() >= requests; });
        std::this_thread::sleep_for(1500ms);
        return DevsimLog("request ");
    }

    UrlRecorder urls;
    MainWindow kavrel;
    RemoteListView* list = kavrel.list.get();
};

} // namespace

TEST_F(Kavrel, MixedLan) {
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 4; }, 20s)) << list->RowCount() << " rows";
    std::this_thread::sleep_for(1500ms); // late and broken replies have had their chance
    ASSERT_EQ(list->RowCount(), 4);
    std::map<std::wstring, std::wstring> rows; // by MAC: IP Address, TCP Port, Name, Status
    for (int r = 0; r < 4; ++r) {
        // Wine answers for COM1 to COM9, so the free names start at COM10; row n proposes entry n.
        EXPECT_EQ(list->Cell(r, kColumnComPort), L"COM" + std::to_wstring(10 + r));
        for (int column : {kColumnIpAddress, kColumnTcpPort, kColumnName, kColumnStatus})
            rows[list->Cell(r, kColumnMacAddress)] += list->Cell(r, column) + L"|";
    }
    EXPECT_EQ(rows, (std::map<std::wstring, std::wstring>{
                        {L"00-1A-2B-3C-4D-01", L"198.18.1.1|4001|TI only|Disable|"},
                        {L"00-1A-2B-3C-4D-02", L"198.18.1.2|10001|Lantronix XPort|Disable|"},
                        {L"00-1A-2B-3C-4D-03", L"198.18.1.3|4003|Both ways|Disable|"},
                        {L"00-1A-2B-3C-4D-30", L"198.18.1.31|5002|Twin B|Disable|"}}));

    DoubleClickAt(CenterOf(list->CellRect(list->RowOf(L"00-1A-2B-3C-4D-01"), kColumnName)));
    ASSERT_TRUE(WaitUntil([&] { return !urls.Opened().empty(); })) << "the shell was asked to open nothing";
    const RECT last = list->CellRect(3, kColumnName);
    std::this_thread::sleep_for(600ms);
    DoubleClickAt({(last.left + last.right) / 2, last.bottom + 20}); // below the rows: no device
    const auto log = Search(12);
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 6), kSearch);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 6, log.end()), kSearch);
    EXPECT_EQ(urls.Opened(), std::vector<std::string>{"http:\\\\198.18.1.1"});
    EXPECT_EQ(list->RowCount(), 4);
}

TEST_F(Kavrel, Thousand) {
    ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 1000; }, 120s)) << list->RowCount() << " rows";
    Search(6);
    ASSERT_EQ(list->RowCount(), 1000);
    std::set<std::wstring> macs;
    for (int r = 0; r < 1000; ++r)
        macs.insert(list->Cell(r, kColumnMacAddress));
    EXPECT_EQ(macs.size(), 1000u);
    // 90 free names under Wine (COM10 to COM99): the rows after them are listed without one.
    EXPECT_EQ(list->Cell(89, kColumnComPort), L"COM99");
    EXPECT_EQ(list->Cell(90, kColumnComPort), L"");
    EXPECT_EQ(list->Cell(999, kColumnComPort), L"");
}
