// kavrel.exe on the simulated LAN with its engine: the real window's tick, Start, Stop and untick reach the
// engine, the serial port and the devices. The rules behind them are proven in tests/unit/emulation.

#include "tools/win-driver/Driver.h"
#include "tools/win-driver/SerialPort.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kEchoOne = L"00-1A-2B-3C-4E-01";
const std::wstring kEchoTwo = L"00-1A-2B-3C-4E-02";
const std::wstring kRefuser = L"00-1A-2B-3C-4E-03";
constexpr auto kOnePoll = 8s; // the first poll comes 5 s after Start

class Links : public ::testing::Test, protected MainWindow {
protected:
    void SetUp() override {
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 3; }, 20s)) << list->RowCount() << " rows";
        Activate(dialog);
    }
    void TearDown() override {
        SaveScreenshot(std::string("links-end-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::wstring ComPort(const std::wstring& mac) const { return list->Cell(list->RowOf(mac), kColumnComPort); }
};

} // namespace

TEST_F(Links, TickStartStopAndUntickThroughTheWindowReachTheDevice) {
    const std::wstring port = ComPort(kEchoOne);
    ASSERT_TRUE(Tick(kEchoOne));
    ASSERT_TRUE(Tick(kRefuser));
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Enable"));
    ASSERT_TRUE(WaitStatus(kRefuser, L"Enable"));

    Click(Item(kStartButton));
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Ready", kOnePoll)) << "the device accepts";
    EXPECT_TRUE(WaitStatus(kRefuser, L"Error", kOnePoll)) << "the device refuses";
    for (int id : {kStartButton, kSearchButton, kDeviceList})
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id << " while running";
    SaveScreenshot("links-running");
    {
        SerialPort serial(port);
        ASSERT_TRUE(serial.Open());
        ASSERT_TRUE(serial.Write("Kavrel says hello\r\n"));
        EXPECT_EQ(serial.Read(19, 5s), "Kavrel says hello\r\n") << "the device's echo";
    }

    Click(Item(kStopButton));
    EXPECT_TRUE(WaitStatus(kRefuser, L"Enable"));
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.1:4001") == 0; }, 5s)) << "Stop closes";
    ASSERT_TRUE(Tick(kEchoOne));
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Disable"));
    EXPECT_FALSE(PipeExists(port)) << "the untick removes the port";
}

TEST_F(Links, TwoDevicesOnOneComPortBothEcho) {
    const std::wstring port = ComPort(kEchoOne);
    // Echo two takes Echo one's port in its drop-down, by keyboard; the free names are COM10, COM11, ...
    const int row = list->RowOf(kEchoTwo), from = std::stoi(ComPort(kEchoTwo).substr(3)),
              to = std::stoi(port.substr(3));
    ClickAt(CenterOf(list->CellRect(row, kColumnName))); // focus the row
    std::this_thread::sleep_for(600ms);
    ClickAt(CenterOf(list->CellRect(row, kColumnComPort)));
    HWND combo = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (combo = FindWindowExW(Item(kDeviceList), nullptr, L"ComboBox", nullptr)); }, 5s));
    for (int n = from; n != to; n += to > from ? 1 : -1)
        PressKey(to > from ? VK_DOWN : VK_UP);
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    std::this_thread::sleep_for(600ms); // no double-click with the next click
    ASSERT_EQ(ComPort(kEchoTwo), port) << "Enter picks";
    ASSERT_TRUE(program.Running()) << "Enter in the drop-down must not press Exit";

    ASSERT_TRUE(Tick(kEchoOne));
    ASSERT_TRUE(Tick(kEchoTwo));
    ASSERT_TRUE(WaitStatus(kEchoTwo, L"Enable"));
    Click(Item(kStartButton));
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Ready", kOnePoll));
    ASSERT_TRUE(WaitStatus(kEchoTwo, L"Ready", kOnePoll));
    SerialPort serial(port);
    ASSERT_TRUE(serial.Open());
    ASSERT_TRUE(serial.Write("ping\n"));
    EXPECT_EQ(serial.Read(10, 5s), "ping\nping\n") << "both devices echo";
}
