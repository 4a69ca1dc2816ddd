// kavrel.exe on the simulated LAN under faults: devices that drown their replies in malformed datagrams,
// replies whose TCP port no socket can have, and the program killed outright and started again.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

namespace {

constexpr int kComPort = 1, kIp = 2, kPort = 3, kMac = 4, kStatus = 6;
constexpr int kStart = 1000, kList = 1003, kSearch = 1004;

struct Expected {
    std::wstring ip, port;
};
// Every device of devices.txt: MAC, then the IP Address and TCP Port its row must show.
const std::map<std::wstring, Expected> kDevices = {
    {L"00-1A-2B-3C-4F-01", {L"198.18.1.1", L"4001"}}, {L"00-1A-2B-3C-4F-02", {L"198.18.1.2", L"10002"}},
    {L"00-1A-2B-3C-4F-03", {L"198.18.1.3", L"4003"}}, {L"00-1A-2B-3C-4F-04", {L"198.18.1.4", L"4004"}},
    {L"00-1A-2B-3C-4F-05", {L"198.18.1.5", L"-5"}},   {L"00-1A-2B-3C-4F-06", {L"198.18.1.6", L"70000"}},
};
const std::wstring kEcho = L"00-1A-2B-3C-4F-04";
const std::wstring kNegative = L"00-1A-2B-3C-4F-05";
const std::wstring kTooBig = L"00-1A-2B-3C-4F-06";

// Connections devsim accepted minus those it saw closed, for one device ("198.18.1.4:4004").
int OpenConnections(const std::string& device) {
    const char* path = std::getenv("KAVREL_DEVSIM_LOG");
    std::ifstream log(std::string("Z:") + (path ? path : ""));
    int open = 0;
    for (std::string line; std::getline(log, line);)
        if (line.find(" " + device) != std::string::npos)
            open += line.rfind("tcp accept", 0) == 0 ? 1 : line.rfind("tcp close", 0) == 0 ? -1 : 0;
    return open;
}

bool PipeExists(const std::wstring& name) {
    HANDLE pipe = CreateFileW((L"\\\\.\\pipe\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_PIPE_BUSY;
    CloseHandle(pipe);
    return true;
}

// One instance of the program with its dialog and device list.
class Instance {
public:
    Instance() {
        dialog = WaitForWindow(program.Id(), L"Kavrel  2.0");
        if (dialog)
            list = std::make_unique<RemoteListView>(GetDlgItem(dialog, kList));
    }

    int RowOf(const std::wstring& mac) const {
        for (int r = 0; r < list->RowCount(); ++r)
            if (list->Cell(r, kMac) == mac)
                return r;
        return -1;
    }
    bool Listed(const std::wstring& mac) const { return RowOf(mac) >= 0; }
    std::wstring Status(const std::wstring& mac) const { return list->Cell(RowOf(mac), kStatus); }
    bool WaitStatus(const std::wstring& mac, const std::wstring& status, Duration timeout = 5s) const {
        return WaitUntil([&] { return Status(mac) == status; }, timeout);
    }
    void Tick(const std::wstring& mac) {
        const auto box = list->CheckBoxPoint(RowOf(mac));
        ASSERT_TRUE(box.has_value());
        ClickAt(*box);
        std::this_thread::sleep_for(600ms); // not a double-click with the next one
    }
    // The program's message box, or null when none came within the time.
    HWND WaitForMessage(Duration timeout = 5s) const {
        HWND box = nullptr;
        WaitUntil(
            [&] {
                const auto windows = TopLevelWindows(program.Id(), L"Kavrel");
                box = windows.empty() ? nullptr : windows.front();
                return box != nullptr;
            },
            timeout);
        return box;
    }
    void Dump() const {
        for (int r = 0; list && r < list->RowCount(); ++r) {
            std::wstring line;
            for (int c = 1; c < 7; ++c)
                line += list->Cell(r, c) + L" | ";
            std::printf("row %d: %ls\n", r, line.c_str());
        }
    }

    Program program;
    HWND dialog = nullptr;
    std::unique_ptr<RemoteListView> list;
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        kavrel = std::make_unique<Instance>();
        ASSERT_NE(kavrel->dialog, nullptr);
        Activate(kavrel->dialog);
    }
    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        SaveScreenshot(std::string("faults-end-") + info->name());
        if (HasFailure() && kavrel)
            kavrel->Dump();
    }
    bool AllListed() const {
        for (const auto& [mac, device] : kDevices)
            if (!kavrel->Listed(mac))
                return false;
        return true;
    }

    std::unique_ptr<Instance> kavrel;
};

} // namespace

TEST_F(Faults, FloodOfMalformedDatagramsListsEveryGoodDeviceAndNothingElse) {
    // The first search goes out at start; two more, so 30 000 bad datagrams come in all told.
    EXPECT_TRUE(WaitUntil([&] { return AllListed(); }, 30s)) << "a good device drowned in the junk";
    for (int search = 0; search < 2; ++search) {
        Click(GetDlgItem(kavrel->dialog, kSearch));
        std::this_thread::sleep_for(3s);
    }
    ASSERT_TRUE(kavrel->program.Running()) << "the flood ended the program";
    EXPECT_EQ(kavrel->list->RowCount(), static_cast<int>(kDevices.size())) << "a bogus row";
    for (const auto& [mac, device] : kDevices) {
        const int row = kavrel->RowOf(mac);
        ASSERT_GE(row, 0);
        EXPECT_EQ(kavrel->list->Cell(row, kIp), device.ip);
        EXPECT_EQ(kavrel->list->Cell(row, kPort), device.port);
        EXPECT_EQ(kavrel->list->Cell(row, kStatus), L"Disable");
    }
}

TEST_F(Faults, ImpossibleTcpPortFailsTheTickWithItsMessageAndUndoesIt) {
    ASSERT_TRUE(WaitUntil([&] { return AllListed(); }, 30s));
    for (const auto& mac : {kNegative, kTooBig}) {
        const std::wstring port = kavrel->list->Cell(kavrel->RowOf(mac), kComPort);
        kavrel->Tick(mac);
        HWND box = kavrel->WaitForMessage();
        ASSERT_NE(box, nullptr) << "no message for the failed tick";
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)).rfind(L"Error: can not create TcpClient device", 0), 0u)
            << "the message says what failed";
        SaveScreenshot("faults-impossible-port");
        Click(GetDlgItem(box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));
        EXPECT_FALSE(kavrel->list->Checked(kavrel->RowOf(mac))) << "the row is unticked again";
        EXPECT_EQ(kavrel->Status(mac), L"Disable");
        EXPECT_FALSE(PipeExists(port)) << "the link made for the tick was left in the engine";
        Activate(kavrel->dialog);
    }
    // Nothing of the failed ticks stands in the way of a good one.
    kavrel->Tick(kEcho);
    EXPECT_TRUE(kavrel->WaitStatus(kEcho, L"Enable"));
    EXPECT_TRUE(PipeExists(kavrel->list->Cell(kavrel->RowOf(kEcho), kComPort)));
}

TEST_F(Faults, ProgramKilledWhileLinkedAndRunningStartsAgainNormally) {
    ASSERT_TRUE(WaitUntil([&] { return kavrel->Listed(kEcho); }, 30s));
    kavrel->Tick(kEcho);
    ASSERT_TRUE(kavrel->WaitStatus(kEcho, L"Enable"));
    Click(GetDlgItem(kavrel->dialog, kStart));
    ASSERT_TRUE(kavrel->WaitStatus(kEcho, L"Ready", 12s));
    ASSERT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.4:4004") == 1; }, 5s));

    // Killed: no code of its own runs, so nothing is torn down but what the system reclaims.
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, kavrel->program.Id());
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(TerminateProcess(process, 9));
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.4:4004") == 0; }, 10s)) << "its connection stayed";

    kavrel = std::make_unique<Instance>();
    ASSERT_NE(kavrel->dialog, nullptr) << "the second start found the first one's leftovers";
    Activate(kavrel->dialog);
    ASSERT_TRUE(WaitUntil([&] { return AllListed(); }, 30s));
    kavrel->Tick(kEcho);
    ASSERT_TRUE(kavrel->WaitStatus(kEcho, L"Enable")) << "the same port name links again";
    Click(GetDlgItem(kavrel->dialog, kStart));
    EXPECT_TRUE(kavrel->WaitStatus(kEcho, L"Ready", 12s));
    EXPECT_TRUE(PipeExists(kavrel->list->Cell(kavrel->RowOf(kEcho), kComPort)));
    Click(GetDlgItem(kavrel->dialog, IDOK));
    EXPECT_EQ(kavrel->program.WaitForExit(10s), 0u);
}
