// kavrel.exe on the simulated LAN with its engine: the real window's drop-down, tick, Start, Stop and untick
// reach the engine, the serial port and the devices. The rules behind them are proven in tests/unit/emulation.

#include "tools/win-driver/Driver.h"
#include "tools/win-driver/SerialPort.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace kavrel::e2e;

TEST(Links, TwoDevicesOnOnePortAndARefusingOneThroughTheWindow) {
    const std::wstring kEchoOne = L"00-1A-2B-3C-4E-01", kEchoTwo = L"00-1A-2B-3C-4E-02",
                       kRefuser = L"00-1A-2B-3C-4E-03";
    MainWindow app;
    ASSERT_NE(app.dialog, nullptr);
    RemoteListView& list = *app.list;
    ASSERT_TRUE(WaitUntil([&] { return list.RowCount() >= 3; }, 20s)) << list.RowCount() << " rows";
    Activate(app.dialog);
    const auto comPort = [&](const std::wstring& mac) { return list.Cell(list.RowOf(mac), kColumnComPort); };
    const std::wstring port = comPort(kEchoOne);

    // Echo two takes Echo one's port in its drop-down, by keyboard; the free names are COM10, COM11, ...
    const int row = list.RowOf(kEchoTwo), from = std::stoi(comPort(kEchoTwo).substr(3)), to = std::stoi(port.substr(3));
    ClickAt(CenterOf(list.CellRect(row, kColumnName))); // focus the row
    std::this_thread::sleep_for(600ms);
    ClickAt(CenterOf(list.CellRect(row, kColumnComPort)));
    HWND combo = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (combo = FindWindowExW(app.Item(kDeviceList), nullptr, L"ComboBox", nullptr)); }, 5s));
    for (int n = from; n != to; n += to > from ? 1 : -1)
        PressKey(to > from ? VK_DOWN : VK_UP);
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(combo); }, 5s));
    std::this_thread::sleep_for(600ms); // no double-click with the next click
    ASSERT_EQ(comPort(kEchoTwo), port) << "Enter picks";
    ASSERT_TRUE(app.program.Running()) << "Enter in the drop-down must not press Exit";

    for (const auto& mac : {kEchoOne, kEchoTwo, kRefuser}) {
        ASSERT_TRUE(app.Tick(mac));
        ASSERT_TRUE(app.WaitStatus(mac, L"Enable")) << "the tick links the row";
    }
    Click(app.Item(kStartButton));
    // The first poll comes 5 s after Start.
    EXPECT_TRUE(app.WaitStatus(kEchoOne, L"Ready", 8s));
    EXPECT_TRUE(app.WaitStatus(kEchoTwo, L"Ready", 1s));
    EXPECT_TRUE(app.WaitStatus(kRefuser, L"Error", 1s)) << "the device refuses";
    for (int id : {kStartButton, kSearchButton, kDeviceList})
        EXPECT_FALSE(IsWindowEnabled(app.Item(id))) << id << " while running";
    SaveScreenshot("links-running");
    {
        SerialPort serial(port);
        ASSERT_TRUE(serial.Open());
        ASSERT_TRUE(serial.Write("ping\n"));
        EXPECT_EQ(serial.Read(10, 5s), "ping\nping\n") << "both devices echo";
    }

    Click(app.Item(kStopButton));
    EXPECT_TRUE(app.WaitStatus(kRefuser, L"Enable"));
    for (const char* device : {"198.18.1.1:4001", "198.18.1.2:4002"})
        EXPECT_TRUE(WaitUntil([&] { return OpenConnections(device) == 0; }, 5s)) << device << " still connected";
    ASSERT_TRUE(app.Tick(kEchoOne));
    ASSERT_TRUE(app.Tick(kEchoTwo));
    EXPECT_TRUE(app.WaitStatus(kEchoTwo, L"Disable"));
    EXPECT_FALSE(PipeExists(port)) << "the last untick removes the port";
}
