// kavrel.exe on the simulated LAN with its engine: a tick makes a serial port that reaches the device,
// Start and Stop drive the status, and every way out closes every connection.

#include "tools/win-driver/Driver.h"
#include "tools/win-driver/SerialPort.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

namespace {

constexpr int kComPort = 1, kMac = 4, kStatus = 6;
const std::wstring kEchoOne = L"00-1A-2B-3C-4E-01";
const std::wstring kEchoTwo = L"00-1A-2B-3C-4E-02";
const std::wstring kRefuser = L"00-1A-2B-3C-4E-03";

std::vector<std::string> DevsimLog(const std::string& prefix) {
    const char* path = std::getenv("KAVREL_DEVSIM_LOG");
    std::ifstream log(std::string("Z:") + (path ? path : ""));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

// Connections devsim accepted minus those it saw closed, for one device ("198.18.1.1:4001").
int OpenConnections(const std::string& device) {
    int open = 0;
    for (const auto& line : DevsimLog("tcp "))
        if (line.find(" " + device) != std::string::npos)
            open += line.rfind("tcp accept", 0) == 0 ? 1 : line.rfind("tcp close", 0) == 0 ? -1 : 0;
    return open;
}

class Links : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = WaitForWindow(program.Id(), L"Kavrel  2.0");
        ASSERT_NE(dialog, nullptr);
        list = std::make_unique<RemoteListView>(GetDlgItem(dialog, 1003));
        ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 3; }, 20s)) << list->RowCount() << " rows";
        for (const auto& mac : {kEchoOne, kEchoTwo, kRefuser})
            for (int r = 0; r < list->RowCount(); ++r)
                if (list->Cell(r, kMac) == mac)
                    row[mac] = r;
        ASSERT_EQ(row.size(), 3u);
        Activate(dialog);
    }
    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        SaveScreenshot(std::string("links-end-") + info->name());
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::wstring Status(const std::wstring& mac) const { return list->Cell(row.at(mac), kStatus); }
    bool WaitStatus(const std::wstring& mac, const std::wstring& status, Duration timeout = 5s) const {
        return WaitUntil([&] { return Status(mac) == status; }, timeout);
    }
    void Tick(const std::wstring& mac) {
        const auto box = list->CheckBoxPoint(row.at(mac));
        ASSERT_TRUE(box.has_value());
        ClickAt(*box);
        // Spaced, so that the next click on this row is not a double-click.
        std::this_thread::sleep_for(600ms);
    }
    // Picks a COM port name for a row through its drop-down, with the keyboard, as a user would.
    void PickComPort(const std::wstring& mac, const std::wstring& name) {
        const int r = row.at(mac);
        const RECT nameCell = list->CellRect(r, 5);
        ClickAt({(nameCell.left + nameCell.right) / 2, (nameCell.top + nameCell.bottom) / 2}); // focus the row
        std::this_thread::sleep_for(600ms);
        const RECT cell = list->CellRect(r, kComPort);
        ClickAt({(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2});
        HWND combo = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (combo = FindWindowExW(Item(1003), nullptr, L"ComboBox", nullptr)); }, 5s));
        // Wine answers for COM1 to COM9, so the free names start at COM10: COMn is item n - 10.
        const int target = std::stoi(name.substr(3)) - 10;
        const int current = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        for (int i = current; i < target; ++i)
            PressKey(VK_DOWN);
        for (int i = current; i > target; --i)
            PressKey(VK_UP);
        PressKey(VK_RETURN);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
        std::this_thread::sleep_for(600ms);
    }

    Program program;
    HWND dialog = nullptr;
    std::unique_ptr<RemoteListView> list;
    std::map<std::wstring, int> row;
};

} // namespace

TEST_F(Links, TickStartStopAndTheSerialPortReachesTheDevice) {
    const std::wstring port = list->Cell(row[kEchoOne], kComPort);
    EXPECT_FALSE(IsWindowEnabled(Item(1000)));
    Tick(kEchoOne);
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Enable")) << "the tick links the row";
    EXPECT_TRUE(list->Checked(row[kEchoOne]));
    EXPECT_TRUE(IsWindowEnabled(Item(1000))) << "a new link enables Start";
    Tick(kRefuser);
    ASSERT_TRUE(WaitStatus(kRefuser, L"Enable"));

    // A linked row keeps the port it is linked to.
    PickComPort(kEchoOne, L"COM40");
    EXPECT_EQ(list->Cell(row[kEchoOne], kComPort), port);

    Click(Item(1000));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Item(1001)); }, 5s));
    EXPECT_FALSE(IsWindowEnabled(Item(1000)));
    EXPECT_FALSE(IsWindowEnabled(Item(1004)));
    EXPECT_FALSE(IsWindowEnabled(Item(1003)));
    // The first poll comes 5 s after Start.
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Ready", 12s)) << "the device accepts";
    EXPECT_TRUE(WaitStatus(kRefuser, L"Error", 12s)) << "the device refuses";
    EXPECT_EQ(Status(kEchoTwo), L"Disable") << "unticked rows keep their status";
    SaveScreenshot("links-running");

    {
        SerialPort serial(port);
        ASSERT_TRUE(serial.Open()) << "no serial port " << std::string(port.begin(), port.end());
        const std::string message = "Kavrel says hello\r\n";
        ASSERT_TRUE(serial.Write(message));
        EXPECT_EQ(serial.Read(message.size(), 5s), message) << "the device's echo comes back";
    }

    Click(Item(1001));
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Enable"));
    EXPECT_TRUE(WaitStatus(kRefuser, L"Enable")) << "Stop sets Enable, also after Error";
    EXPECT_TRUE(IsWindowEnabled(Item(1000)));
    EXPECT_FALSE(IsWindowEnabled(Item(1001)));
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.1:4001") == 0; }, 5s)) << "Stop closes";

    // The untick removes the row's devices: its serial port is gone.
    Tick(kEchoOne);
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Disable"));
    EXPECT_FALSE(SerialPort(port).Open());

    // Exit while running leaves no connection behind.
    Click(Item(1000));
    ASSERT_TRUE(WaitStatus(kRefuser, L"Error", 12s));
    Click(Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
    EXPECT_EQ(OpenConnections("198.18.1.1:4001"), 0);
}

TEST_F(Links, TwoDevicesOnOnePortBothReceiveAndEscapeTearsDown) {
    const std::wstring port = list->Cell(row[kEchoOne], kComPort);
    PickComPort(kEchoTwo, port);
    ASSERT_EQ(list->Cell(row[kEchoTwo], kComPort), port);
    Tick(kEchoOne);
    Tick(kEchoTwo);
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Enable"));
    ASSERT_TRUE(WaitStatus(kEchoTwo, L"Enable"));

    Click(Item(1000));
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Ready", 12s));
    ASSERT_TRUE(WaitStatus(kEchoTwo, L"Ready", 12s));
    {
        SerialPort serial(port);
        ASSERT_TRUE(serial.Open());
        ASSERT_TRUE(serial.Write("ping\n"));
        // Each device echoes what it received: both copies come back.
        EXPECT_EQ(serial.Read(10, 5s), "ping\nping\n");
    }
    EXPECT_EQ(OpenConnections("198.18.1.1:4001"), 1);
    EXPECT_EQ(OpenConnections("198.18.1.2:4002"), 1);

    // Escape ends the program the same way as Exit: nothing stays connected.
    Activate(dialog);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.1:4001") == 0; }, 5s));
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.2:4002") == 0; }, 5s));
}
