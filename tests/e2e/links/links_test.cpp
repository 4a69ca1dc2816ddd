// kavrel.exe on the simulated LAN with its engine: a tick makes a serial port that reaches the device,
// Start and Stop drive the status and the device's connection. (What every way out tears down is proven
// against a recording engine in tests/e2e/teardown.)

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

class Links : public ::testing::Test, protected MainWindow {
protected:
    void SetUp() override {
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 3; }, 20s)) << list->RowCount() << " rows";
        for (const auto& mac : {kEchoOne, kEchoTwo, kRefuser})
            ASSERT_GE(list->RowOf(mac), 0);
        Activate(dialog);
    }
    void TearDown() override {
        SaveScreenshot(std::string("links-end-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::wstring ComPort(const std::wstring& mac) const { return list->Cell(list->RowOf(mac), kColumnComPort); }
    // Picks a COM port name for a row through its drop-down, with the keyboard, as a user would.
    void PickComPort(const std::wstring& mac, const std::wstring& name) {
        const int r = list->RowOf(mac);
        ClickAt(CenterOf(list->CellRect(r, kColumnName))); // focus the row
        std::this_thread::sleep_for(600ms);
        ClickAt(CenterOf(list->CellRect(r, kColumnComPort)));
        HWND combo = nullptr;
        ASSERT_TRUE(
            WaitUntil([&] { return (combo = FindWindowExW(Item(kDeviceList), nullptr, L"ComboBox", nullptr)); }, 5s));
        // Wine answers for COM1 to COM9, so the free names start at COM10: COMn is item n - 10.
        const int target = std::stoi(name.substr(3)) - 10;
        const int current = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        for (int i = current; i != target; i += current < target ? 1 : -1)
            PressKey(current < target ? VK_DOWN : VK_UP);
        PressKey(VK_RETURN);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
        std::this_thread::sleep_for(600ms);
        ASSERT_TRUE(program.Running()) << "Enter in the drop-down must not press Exit";
    }
};

} // namespace

TEST_F(Links, TickStartStopAndTheSerialPortReachesTheDevice) {
    const std::wstring port = ComPort(kEchoOne);
    EXPECT_FALSE(IsWindowEnabled(Item(kStartButton)));
    ASSERT_TRUE(Tick(kEchoOne));
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Enable")) << "the tick links the row";
    EXPECT_TRUE(list->Checked(list->RowOf(kEchoOne)));
    EXPECT_TRUE(IsWindowEnabled(Item(kStartButton))) << "a new link enables Start";
    ASSERT_TRUE(Tick(kRefuser));
    ASSERT_TRUE(WaitStatus(kRefuser, L"Enable"));

    // A linked row keeps the port it is linked to.
    PickComPort(kEchoOne, L"COM40");
    EXPECT_EQ(ComPort(kEchoOne), port);

    Click(Item(kStartButton));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Item(kStopButton)); }, 5s));
    EXPECT_FALSE(IsWindowEnabled(Item(kStartButton)));
    EXPECT_FALSE(IsWindowEnabled(Item(kSearchButton)));
    EXPECT_FALSE(IsWindowEnabled(Item(kDeviceList)));
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

    Click(Item(kStopButton));
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Enable"));
    EXPECT_TRUE(WaitStatus(kRefuser, L"Enable")) << "Stop sets Enable, also after Error";
    EXPECT_TRUE(IsWindowEnabled(Item(kStartButton)));
    EXPECT_FALSE(IsWindowEnabled(Item(kStopButton)));
    EXPECT_TRUE(WaitUntil([] { return OpenConnections("198.18.1.1:4001") == 0; }, 5s)) << "Stop closes";

    // The untick removes the row's devices: its serial port is gone.
    ASSERT_TRUE(Tick(kEchoOne));
    EXPECT_TRUE(WaitStatus(kEchoOne, L"Disable"));
    EXPECT_FALSE(SerialPort(port).Open());

    Click(Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST_F(Links, TwoDevicesOnOnePortBothReceive) {
    const std::wstring port = ComPort(kEchoOne);
    PickComPort(kEchoTwo, port);
    ASSERT_EQ(ComPort(kEchoTwo), port);
    ASSERT_TRUE(Tick(kEchoOne));
    ASSERT_TRUE(Tick(kEchoTwo));
    ASSERT_TRUE(WaitStatus(kEchoOne, L"Enable"));
    ASSERT_TRUE(WaitStatus(kEchoTwo, L"Enable"));

    Click(Item(kStartButton));
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

    Click(Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
