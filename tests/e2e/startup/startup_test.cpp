// kavrel.exe as the user meets it (the main dialog at start, its About box, one copy at a time) and every way
// out of it, which must destroy the engine's devices, stop emulation and release the engine: seen through the
// recording stand-in for vspe_api.dll beside it, the program's own calls, not what the system closes later.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;

TEST(Startup, MainDialogAboutBoxAndOneCopyAtATime) {
    MainWindow first;
    HWND dialog = first.dialog;
    ASSERT_NE(dialog, nullptr) << "no main window";
    EXPECT_FALSE(IsWindowEnabled(first.Item(kStartButton)) || IsWindowEnabled(first.Item(kStopButton)));
    // Wine's tray window may take the activation for a moment at start; the dialog keeps its focus control
    // and gives it back when it is active again.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == first.Item(IDOK); }, 3s) ||
                (Activate(dialog), WaitUntil([&] { return FocusOf(dialog) == first.Item(IDOK); }, 3s)));
    SaveScreenshot("main-dialog");

    // The system menu's About entry: Alt+Space opens the menu, I is the entry's mnemonic.
    Activate(dialog);
    PressKeys({VK_MENU, VK_SPACE});
    std::this_thread::sleep_for(300ms);
    PressKey('I');
    HWND about = WaitForWindow(first.program.Id(), L"Info \u00FCber Tessik");
    ASSERT_NE(about, nullptr) << "the system menu has no About entry";
    SaveScreenshot("about-box");
    PressKey(VK_RETURN); // OK is the About box's default button
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    Program second;
    EXPECT_EQ(second.WaitForExit(15s), 0u) << "the second copy must end by itself";
    EXPECT_EQ(TopLevelWindows(0, kMainTitle).size(), 1u);
    // Enter presses the default button, Exit; once the first has gone, a new copy starts normally.
    Activate(dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(first.program.WaitForExit(10s), 0u);
    Program third;
    ASSERT_NE(WaitForWindow(third.Id(), kMainTitle), nullptr);
}

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
