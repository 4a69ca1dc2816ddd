// kavrel.exe on the simulated LAN under faults: good replies among 10 000 malformed datagrams a search,
// replies whose TCP port no socket can have, and the program killed outright and started again.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <thread>

using namespace kavrel::e2e;

namespace {

// Every device of devices.txt: MAC, then the IP Address and TCP Port its row must show.
const std::map<std::wstring, std::pair<std::wstring, std::wstring>> kDevices = {
    {L"00-1A-2B-3C-4F-01", {L"198.18.1.1", L"4001"}}, {L"00-1A-2B-3C-4F-02", {L"198.18.1.2", L"10002"}},
    {L"00-1A-2B-3C-4F-03", {L"198.18.1.3", L"4003"}}, {L"00-1A-2B-3C-4F-04", {L"198.18.1.4", L"4004"}},
    {L"00-1A-2B-3C-4F-05", {L"198.18.1.5", L"-5"}},   {L"00-1A-2B-3C-4F-06", {L"198.18.1.6", L"70000"}},
};
const std::wstring kEcho = L"00-1A-2B-3C-4F-04";

class Faults : public ::testing::Test {
protected:
    void SetUp() override { Restart(); }
    void TearDown() override {
        SaveScreenshot(std::string("faults-end-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void Restart() {
        kavrel = std::make_unique<MainWindow>();
        ASSERT_NE(kavrel->dialog, nullptr) << "no main window";
        Activate(kavrel->dialog);
        const auto listed = [&](const auto& device) { return kavrel->list->RowOf(device.first) >= 0; };
        ASSERT_TRUE(WaitUntil([&] { return std::all_of(kDevices.begin(), kDevices.end(), listed); }, 30s))
            << "a good device drowned in the junk";
    }
    std::wstring Cell(const std::wstring& mac, int column) const {
        return kavrel->list->Cell(kavrel->list->RowOf(mac), column);
    }
    std::unique_ptr<MainWindow> kavrel;
};

} // namespace

TEST_F(Faults, FloodOfMalformedDatagramsListsEveryGoodDeviceAndNothingElse) {
    std::this_thread::sleep_for(3s); // for the junk that follows the good replies
    ASSERT_TRUE(kavrel->program.Running()) << "the flood ended the program";
    EXPECT_EQ(kavrel->list->RowCount(), static_cast<int>(kDevices.size())) << "a bogus row";
    for (const auto& [mac, device] : kDevices)
        EXPECT_EQ(std::make_pair(Cell(mac, kColumnIpAddress), Cell(mac, kColumnTcpPort)), device);
}

TEST_F(Faults, ImpossibleTcpPortFailsTheTickWithItsMessageAndUndoesIt) {
    for (const auto& mac : {L"00-1A-2B-3C-4F-05", L"00-1A-2B-3C-4F-06"}) {
        const std::wstring port = Cell(mac, kColumnComPort);
        ASSERT_TRUE(kavrel->Tick(mac));
        HWND box = WaitForWindow(kavrel->program.Id(), L"Kavrel", 10s);
        ASSERT_NE(box, nullptr) << "no message for the failed tick";
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)).rfind(L"Error: can not create TcpClient device", 0), 0u);
        Click(GetDlgItem(box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));
        EXPECT_FALSE(kavrel->list->Checked(kavrel->list->RowOf(mac))) << "the row is unticked again";
        EXPECT_EQ(kavrel->Status(mac), L"Disable");
        EXPECT_FALSE(PipeExists(port)) << "the link made for the tick was left in the engine";
        Activate(kavrel->dialog);
    }
}

TEST_F(Faults, ProgramKilledWhileLinkedAndRunningStartsAgainNormally) {
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(kavrel->Tick(kEcho));
        ASSERT_TRUE(kavrel->WaitStatus(kEcho, L"Enable")) << "the same port name links again";
        Click(kavrel->Item(kStartButton));
        ASSERT_TRUE(kavrel->WaitStatus(kEcho, L"Ready", 12s));
        ASSERT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.4:4004") == 1; }, 5s));
        if (run == 1)
            break;
        ASSERT_TRUE(TerminateProcess(kavrel->program.Handle(), 9));
        EXPECT_NE(kavrel->program.WaitForExit(10s), STILL_ACTIVE);
        EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.4:4004") == 0; }, 10s)) << "its connection stayed";
        Restart();
    }
}
