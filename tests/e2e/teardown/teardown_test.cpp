// Every way out of kavrel.exe destroys the engine's devices, stops emulation and releases the engine,
// seen through a recording stand-in for vspe_api.dll: the program's own calls, not what the system
// closes after the process has gone.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

namespace {

constexpr int kStatus = 6;

std::wstring LogPath() {
    return ProgramFolder() + L"engine.log";
}

std::vector<std::string> EngineCalls() {
    std::ifstream log{std::filesystem::path(LogPath())};
    std::vector<std::string> calls;
    for (std::string line; std::getline(log, line);)
        calls.push_back(line.substr(0, line.find(' ')));
    return calls;
}

enum class WayOut { ExitButton, Escape, CloseCommand, TrayExit };

class Teardown : public ::testing::TestWithParam<WayOut> {};

} // namespace

TEST_P(Teardown, DestroysStopsAndReleasesTheEngine) {
    DeleteFileW(LogPath().c_str());
    SetEnvironmentVariableW(L"KAVREL_ENGINE_LOG", LogPath().c_str());
    Program program;
    HWND dialog = WaitForWindow(program.Id(), L"Kavrel  2.0");
    ASSERT_NE(dialog, nullptr);
    RemoteListView list(GetDlgItem(dialog, 1003));
    const int row =
        list.AppendRow({L"", L"COM10", L"198.18.1.1", L"4001", L"00-1A-2B-3C-4D-5E", L"Device", L"Disable"});
    ASSERT_GE(row, 0);
    const auto box = list.CheckBoxPoint(row);
    ASSERT_TRUE(box.has_value());
    ClickAt(*box);
    ASSERT_TRUE(WaitUntil([&] { return list.Cell(row, kStatus) == L"Enable"; }, 5s));
    Click(GetDlgItem(dialog, 1000)); // Start
    ASSERT_TRUE(WaitUntil([&] { return list.Cell(row, kStatus) == L"Ready"; }, 12s));

    switch (GetParam()) {
    case WayOut::ExitButton:
        Click(GetDlgItem(dialog, IDOK));
        break;
    case WayOut::Escape:
        Activate(dialog);
        PressKey(VK_ESCAPE);
        break;
    case WayOut::CloseCommand: // the close box and the system menu's Close
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case WayOut::TrayExit: // what the tray menu's Exit sends
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        break;
    }
    ASSERT_EQ(program.WaitForExit(10s), 0u);

    const auto calls = EngineCalls();
    const std::vector<std::string> made = {"initialize", "destroyAllDevices", "Connector",
                                           "Splitter",   "TcpClient",         "startEmulation"};
    ASSERT_GE(calls.size(), made.size());
    const auto end = calls.begin() + static_cast<std::ptrdiff_t>(made.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), end), made);
    EXPECT_EQ(std::vector<std::string>(end, calls.end()),
              (std::vector<std::string>{"destroyAllDevices", "stopEmulation", "release"}))
        << "once each, in that order";
}

INSTANTIATE_TEST_SUITE_P(EveryWayOut, Teardown,
                         ::testing::Values(WayOut::ExitButton, WayOut::Escape, WayOut::CloseCommand, WayOut::TrayExit));
