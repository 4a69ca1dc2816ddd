// A real COM port under Wine: kavrel.exe holds the hidden end (COM210) of a pty pair while a serial program
// uses the visible end, COM10, with the comm API, or a Linux program the pair's pty.

#include "tools/win-driver/ComPort.h"
#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace kavrel::e2e;

namespace {

const std::wstring kEcho = L"00-1A-2B-3C-4F-01";
const std::string kPairDir = std::getenv("KAVREL_PAIR_DIR") ? std::getenv("KAVREL_PAIR_DIR") : "";

// Runs a shell command as a Linux process (Wine starts ELF programs itself) and returns what it printed. Wine
// gives no exit code for a Linux process: its output file appears when it is done.
std::string RunUnix(const std::string& command) {
    static int runs = 0;
    const std::string out = kPairDir + "/unix-" + std::to_string(++runs);
    std::string line = "/bin/sh -c \"(" + command + ") >" + out + ".tmp 2>&1; mv " + out + ".tmp " + out + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "cannot start /bin/sh";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    WaitUntil([&] { return std::ifstream("Z:" + out).good(); }, 20s);
    std::ostringstream text;
    text << std::ifstream("Z:" + out, std::ios::binary).rdbuf();
    return text.str();
}

// Processes other than socat that have the hidden end's pty open: kavrel.exe and the wineserver.
int HiddenEndHolders() {
    return std::atoi(RunUnix("find /proc/[0-9]*/fd -lname $(readlink -f " + kPairDir +
                             "/COM210) 2>/dev/null | cut -d/ -f3 | sort -u | while read p; do "
                             "[ $(cat /proc/$p/comm) = socat ] || echo $p; done | wc -l")
                         .c_str());
}

} // namespace

TEST(ComPortLink, SerialProgramsOnTheVisibleEndReachTheDeviceAndTheHiddenEndIsLetGo) {
    ASSERT_FALSE(kPairDir.empty()) << "run through tools/wine-run --pair COM10=COM210";
    MainWindow kavrel;
    ASSERT_NE(kavrel.dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return kavrel.list->RowOf(kEcho) == 0; }, 20s));
    ASSERT_EQ(kavrel.list->Cell(0, kColumnComPort), L"COM10") << "the first proposed port is the pair's visible end";
    Activate(kavrel.dialog);
    const auto tickAndStart = [&] {
        if (kavrel.Tick(kEcho) && kavrel.WaitStatus(kEcho, L"Enable"))
            Click(kavrel.Item(kStartButton));
        return kavrel.WaitStatus(kEcho, L"Ready", 12s);
    };
    ASSERT_TRUE(tickAndStart());
    EXPECT_GT(HiddenEndHolders(), 0) << "the tick opens the hidden end";

    // The README's recipe: a Linux program opens the pair's pty with termios and gets the device's answer.
    EXPECT_EQ(RunUnix("/usr/bin/python3 " KAVREL_SOURCE_DIR "/tools/demo-serial " + kPairDir + "/COM10 'Hello'"),
              "Hello\n");
    {
        ComPort com(L"\\\\.\\COM10");
        ASSERT_TRUE(com.Ready()) << GetLastError();
        std::string sent(64 * 1024, '\0'), received;
        for (size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<char>(i * 7 + i / 251);
        // Read as it comes: socat's pair stalls when an end stops reading while it writes.
        for (size_t at = 0; at < sent.size(); at += 1024) {
            ASSERT_TRUE(com.Write(sent.substr(at, 1024))) << "at " << at;
            received += com.ReadQueued();
        }
        received += com.Read(sent.size() - received.size(), 20s);
        EXPECT_TRUE(received == sent) << received.size() << " bytes back, not all as sent";
    }
    ComPort again(L"\\\\.\\COM10");
    EXPECT_TRUE(again.Ready() && again.Write("reopened") && again.Read(8, 5s) == "reopened") << "COM10 again";
    SaveScreenshot("comport");

    Click(kavrel.Item(kStopButton));
    ASSERT_TRUE(kavrel.WaitStatus(kEcho, L"Enable"));
    ASSERT_TRUE(kavrel.Tick(kEcho) && kavrel.WaitStatus(kEcho, L"Disable"));
    EXPECT_EQ(HiddenEndHolders(), 0) << "the untick lets the hidden end go";
    ASSERT_TRUE(tickAndStart());
    EXPECT_GT(HiddenEndHolders(), 0);
    Click(kavrel.Item(IDOK));
    EXPECT_EQ(kavrel.program.WaitForExit(10s), 0u);
    EXPECT_EQ(HiddenEndHolders(), 0) << "Exit lets the hidden end go";
}
