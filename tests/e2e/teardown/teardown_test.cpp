// Every way out of kavrel.exe destroys the engine's devices, stops emulation and releases the engine, seen
// through a recording stand-in for vspe_api.dll: the program's own calls, not what the system closes later.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace kavrel::e2e;

using WayOut = void (*)(HWND dialog);
class Teardown : public ::testing::TestWithParam<WayOut> {};

TEST_P(Teardown, DestroysStopsAndReleasesTheEngineOnce) {
    const std::wstring log = ProgramFolder() + L"engine.log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"KAVREL_ENGINE_LOG", log.c_str());
    MainWindow kavrel;
    ASSERT_NE(kavrel.dialog, nullptr);
    const std::wstring mac = L"00-1A-2B-3C-4D-5E";
    ASSERT_GE(kavrel.list->AppendRow({L"", L"COM10", L"198.18.1.1", L"4001", mac, L"Device", L"Disable"}), 0);
    ASSERT_TRUE(kavrel.Tick(mac) && kavrel.WaitStatus(mac, L"Enable"));
    Click(kavrel.Item(kStartButton));
    ASSERT_TRUE(kavrel.WaitStatus(mac, L"Ready", 12s));
    GetParam()(kavrel.dialog);
    ASSERT_EQ(kavrel.program.WaitForExit(10s), 0u);

    std::ifstream file{std::filesystem::path(log)};
    const std::vector<std::string> calls{std::istream_iterator<std::string>(file), {}};
    EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "destroyAllDevices", "Connector", "Splitter", "TcpClient",
                                               "startEmulation", "destroyAllDevices", "stopEmulation", "release"}));
}

const WayOut kWaysOut[] = {
    [](HWND dialog) { Click(GetDlgItem(dialog, IDOK)); },
    [](HWND dialog) {
        Activate(dialog);
        PressKey(VK_ESCAPE);
    },
    [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, // the close box, the system menu's Close
    [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); },        // what the tray menu's Exit sends
};
INSTANTIATE_TEST_SUITE_P(EveryWayOut, Teardown, ::testing::ValuesIn(kWaysOut));
