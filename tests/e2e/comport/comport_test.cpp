// A real COM port under Wine: kavrel.exe holds the hidden end (COM210) of a pty pair while a serial program
// uses the visible end, COM10, with the comm API; a Linux program may use the pair's pty instead.

#include "tools/win-driver/ComPort.h"
#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

using namespace kavrel::e2e;

namespace {

constexpr int kComPort = 1, kMac = 4, kStatus = 6;
const std::wstring kEcho = L"00-1A-2B-3C-4F-01";

std::string PairDir() {
    const char* dir = std::getenv("KAVREL_PAIR_DIR");
    return dir ? dir : "";
}

// Runs a shell command as a Linux process (Wine starts ELF programs itself) and returns what it printed.
std::string RunUnix(const std::string& command, Duration timeout = 20s) {
    static int runs = 0;
    const std::string out = PairDir() + "/unix-" + std::to_string(++runs);
    std::string line = "/bin/sh -c \"(" + command + ") >" + out + ".tmp 2>&1; mv " + out + ".tmp " + out + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "cannot start /bin/sh";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine gives no exit code for a Linux process: its output file appears when it is done.
    std::string text = "no answer from: " + command;
    WaitUntil(
        [&] {
            std::ifstream file("Z:" + out, std::ios::binary);
            if (!file)
                return false;
            std::ostringstream all;
            all << file.rdbuf();
            text = all.str();
            return true;
        },
        timeout);
    return text;
}

// Processes other than socat that have the hidden end's pty open: kavrel.exe and the wineserver.
int HiddenEndHolders() {
    const std::string count = RunUnix("find /proc/[0-9]*/fd -lname $(readlink -f " + PairDir() +
                                      "/COM210) 2>/dev/null | cut -d/ -f3 | sort -u | while read p; do "
                                      "[ $(cat /proc/$p/comm) = socat ] || echo $p; done | wc -l");
    return std::atoi(count.c_str());
}

class ComPortLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(PairDir().empty()) << "run through tools/wine-run --pair COM10=COM210";
        dialog = WaitForWindow(program.Id(), L"Kavrel  2.0");
        ASSERT_NE(dialog, nullptr);
        list = std::make_unique<RemoteListView>(GetDlgItem(dialog, 1003));
        ASSERT_TRUE(WaitUntil([&] { return list->RowCount() >= 1; }, 20s));
        ASSERT_EQ(list->Cell(0, kMac), kEcho);
        ASSERT_EQ(list->Cell(0, kComPort), L"COM10") << "the first proposed port is the pair's visible end";
        Activate(dialog);
    }
    void TearDown() override {
        SaveScreenshot(std::string("comport-end-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    void Tick() {
        const auto box = list->CheckBoxPoint(0);
        ASSERT_TRUE(box.has_value());
        ClickAt(*box);
        std::this_thread::sleep_for(600ms); // so that the next click is no double-click
    }
    void TickAndStart() {
        Tick();
        ASSERT_TRUE(WaitUntil([&] { return list->Cell(0, kStatus) == L"Enable"; }, 5s));
        Click(Item(1000));
        ASSERT_TRUE(WaitUntil([&] { return list->Cell(0, kStatus) == L"Ready"; }, 12s));
    }

    Program program;
    HWND dialog = nullptr;
    std::unique_ptr<RemoteListView> list;
};

} // namespace

TEST_F(ComPortLink, SerialProgramOnCom10ExchangesWithTheDeviceAndTheHiddenEndIsLetGo) {
    ASSERT_EQ(HiddenEndHolders(), 0);
    TickAndStart();
    EXPECT_GT(HiddenEndHolders(), 0) << "the tick opens the hidden end";
    {
        ComPort com(L"\\\\.\\COM10");
        ASSERT_TRUE(com.Ready()) << GetLastError();
        // 64 KiB out and its echo back, written in pieces and read as it comes: socat's pair stalls when an end
        // stops reading while it writes.
        std::string sent, received;
        for (int i = 0; sent.size() < 64 * 1024; ++i) {
            std::string piece(1024, '\0');
            for (size_t k = 0; k < piece.size(); ++k)
                piece[k] = static_cast<char>((sent.size() + k) * 7 + (sent.size() + k) / 251);
            ASSERT_TRUE(com.Write(piece)) << "at " << sent.size();
            sent += piece;
            received += com.ReadQueued();
        }
        received += com.Read(sent.size() - received.size(), 20s);
        ASSERT_EQ(received.size(), sent.size());
        EXPECT_TRUE(received == sent) << "every byte comes back as sent";

        // What Wine cannot do on a pty (no modem lines); a change here wants a look at the engine's choices.
        DWORD status = 0, mask = 0;
        EXPECT_FALSE(EscapeCommFunction(com.Handle(), SETDTR));
        EXPECT_EQ(GetLastError(), 50u);
        EXPECT_FALSE(GetCommModemStatus(com.Handle(), &status));
        ASSERT_TRUE(SetCommMask(com.Handle(), EV_CTS | EV_DSR));
        EXPECT_FALSE(WaitCommEvent(com.Handle(), &mask, nullptr));
        EXPECT_EQ(GetLastError(), 50u);
    }
    {
        ComPort again(L"\\\\.\\COM10");
        ASSERT_TRUE(again.Ready()) << "COM10 opens again";
        ASSERT_TRUE(again.Write("after reopening\r\n"));
        EXPECT_EQ(again.Read(17, 5s), "after reopening\r\n");
    }

    Click(Item(1001));
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(0, kStatus) == L"Enable"; }, 5s));
    EXPECT_GT(HiddenEndHolders(), 0) << "a stopped link keeps its port, as the pipe does";
    Tick();
    ASSERT_TRUE(WaitUntil([&] { return list->Cell(0, kStatus) == L"Disable"; }, 5s));
    EXPECT_EQ(HiddenEndHolders(), 0) << "the untick lets the hidden end go";

    TickAndStart();
    EXPECT_GT(HiddenEndHolders(), 0);
    Click(Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
    EXPECT_EQ(HiddenEndHolders(), 0) << "Exit lets the hidden end go";
}

// The README's recipe: a Linux program opens the pair's pty with termios and gets the device's answer.
TEST_F(ComPortLink, LinuxProgramOnThePtyGetsTheEcho) {
    TickAndStart();
    const std::string answer = RunUnix(std::string("/usr/bin/python3 ") + KAVREL_SOURCE_DIR + "/tools/demo-serial " +
                                       PairDir() + "/COM10 'Hello from Linux'");
    EXPECT_EQ(answer, "Hello from Linux\n");
    Click(Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
