// kavrel.exe with sixteen linked devices and emulation running, for KAVREL_SOAK_SECONDS (default 120; tools/soak
// --program runs it longer): every port carries a pattern to its echoing device server and back, every byte
// checked, and the program's memory (its engine lives in it) may not keep growing.

#include "tools/win-driver/Driver.h"
#include "tools/win-driver/SerialPort.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace kavrel::e2e;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 16;
constexpr size_t kChunk = 8 * 1024; // in flight per port at once; more could fill a buffer on the way

// A port's bytes of one round: different per port and round, so crossed or repeated data shows.
std::string Chunk(int port, size_t round) {
    std::string bytes(kChunk, '\0');
    for (size_t i = 0; i < kChunk; ++i)
        bytes[i] = static_cast<char>((round * kChunk + i + static_cast<size_t>(port) * 37) % 251);
    return bytes;
}

// Under Wine the working set is the process's resident set, while its private-bytes figure stays 0.
double ResidentMiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process, &counters, sizeof(counters));
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

} // namespace

TEST(ProgramSoak, SixteenLinksCarryEveryByteBothWaysAndMemoryStaysFlat) {
    MainWindow kavrel;
    ASSERT_NE(kavrel.dialog, nullptr);
    RemoteListView& list = *kavrel.list;
    ASSERT_TRUE(WaitUntil([&] { return list.RowCount() >= kDevices; }, 20s)) << list.RowCount() << " rows";
    Activate(kavrel.dialog);
    for (int r = 0; r < kDevices; ++r) {
        SendMessageW(kavrel.Item(kDeviceList), LVM_ENSUREVISIBLE, static_cast<WPARAM>(r), FALSE);
        ASSERT_TRUE(kavrel.Tick(list.Cell(r, kColumnMacAddress))) << "row " << r;
    }
    Click(kavrel.Item(kStartButton));
    std::vector<std::unique_ptr<SerialPort>> ports;
    for (int r = 0; r < kDevices; ++r) {
        ASSERT_TRUE(WaitUntil([&] { return list.Cell(r, kColumnStatus) == L"Ready"; }, 15s)) << "row " << r;
        ports.push_back(std::make_unique<SerialPort>(list.Cell(r, kColumnComPort)));
        ASSERT_TRUE(ports.back()->Open()) << "port " << r;
    }

    const char* seconds = std::getenv("KAVREL_SOAK_SECONDS");
    const auto start = Clock::now(),
               end = start + std::chrono::seconds(seconds ? std::max(30, std::atoi(seconds)) : 120);
    auto nextReport = start + 10s;
    double settled = 0; // after the first half-minute
    for (size_t round = 0; Clock::now() < end; ++round) {
        for (int p = 0; p < kDevices; ++p)
            ASSERT_TRUE(ports[p]->Write(Chunk(p, round))) << "port " << p;
        for (int p = 0; p < kDevices; ++p)
            ASSERT_TRUE(ports[p]->Read(kChunk, 15s) == Chunk(p, round)) << "port " << p << " round " << round;
        if (Clock::now() >= nextReport) {
            const double resident = ResidentMiB(kavrel.program.Handle());
            settled = settled == 0 && Clock::now() - start >= 30s ? resident : settled;
            std::printf("%4.0f s: %6zu KiB checked per port, resident %6.1f MiB\n",
                        std::chrono::duration<double>(Clock::now() - start).count(), (round + 1) * kChunk / 1024,
                        resident);
            std::fflush(stdout);
            nextReport += 10s;
        }
    }

    ASSERT_GT(settled, 0) << "no memory figure to watch";
    EXPECT_LT(ResidentMiB(kavrel.program.Handle()) - settled, 4.0) << "the program's memory keeps growing";
}
