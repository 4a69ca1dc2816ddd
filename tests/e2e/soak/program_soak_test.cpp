// kavrel.exe with sixteen linked devices and emulation running, for a set time: every port carries a counter
// pattern to its echoing device server and back, every byte is checked, and the program's memory (its
// engine lives in it) is sampled every 10 s. KAVREL_SOAK_SECONDS sets the time (default 120); tools/soak
// --program runs it for longer.

#include "tools/win-driver/Driver.h"
#include "tools/win-driver/SerialPort.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 16;
constexpr size_t kChunk = 512;
// Bytes a port may have on their way to the device and back; more waits, so no buffer fills.
constexpr size_t kInFlight = 8 * 1024;

std::chrono::seconds SoakTime() {
    const char* value = std::getenv("KAVREL_SOAK_SECONDS");
    return std::chrono::seconds(value != nullptr ? std::max(30, std::atoi(value)) : 120);
}

// Byte i of a port's stream: different per port, so crossed links show.
char PatternByte(int port, size_t i) {
    return static_cast<char>((i + static_cast<size_t>(port) * 37) % 251);
}

struct Stream {
    std::unique_ptr<SerialPort> port;
    size_t sent = 0;
    size_t checked = 0;
    Clock::time_point lastProgress;
    std::string received;
};

// Resident memory: under Wine the working set is the process's resident set, while its private-bytes
// figure stays 0.
struct MemorySample {
    double seconds;
    size_t resident;
};

MemorySample Sample(HANDLE process, Clock::time_point start) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process, &counters, sizeof(counters));
    return {std::chrono::duration<double>(Clock::now() - start).count(), counters.WorkingSetSize};
}

double MiB(size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

TEST(ProgramSoak, SixteenLinksCarryEveryByteBothWaysAndMemoryStaysFlat) {
    MainWindow kavrel;
    ASSERT_NE(kavrel.dialog, nullptr);
    const Program& program = kavrel.program;
    RemoteListView& list = *kavrel.list;
    ASSERT_TRUE(WaitUntil([&] { return list.RowCount() >= kDevices; }, 20s)) << list.RowCount() << " rows";
    Activate(kavrel.dialog);

    std::vector<std::wstring> ports;
    for (int r = 0; r < kDevices; ++r) {
        SendMessageW(kavrel.Item(kDeviceList), LVM_ENSUREVISIBLE, static_cast<WPARAM>(r), FALSE);
        const auto box = list.CheckBoxPoint(r);
        ASSERT_TRUE(box.has_value()) << "row " << r;
        ClickAt(*box);
        ASSERT_TRUE(WaitUntil([&] { return list.Cell(r, kColumnStatus) == L"Enable"; }, 5s)) << "row " << r;
        ports.push_back(list.Cell(r, kColumnComPort));
        std::this_thread::sleep_for(600ms); // not a double-click with the next row's
    }
    Click(kavrel.Item(kStartButton));
    for (int r = 0; r < kDevices; ++r)
        ASSERT_TRUE(WaitUntil([&] { return list.Cell(r, kColumnStatus) == L"Ready"; }, 15s)) << "row " << r;

    std::vector<Stream> streams(kDevices);
    for (int p = 0; p < kDevices; ++p) {
        streams[p].port = std::make_unique<SerialPort>(ports[p]);
        ASSERT_TRUE(streams[p].port->Open()) << "port " << p;
        streams[p].lastProgress = Clock::now();
    }

    const auto start = Clock::now();
    const auto end = start + SoakTime();
    std::vector<MemorySample> samples{Sample(program.Handle(), start)};
    auto nextSample = start + 10s;
    std::string chunk(kChunk, '\0');
    while (Clock::now() < end) {
        for (int p = 0; p < kDevices; ++p) {
            Stream& s = streams[p];
            if (s.sent - s.checked < kInFlight) {
                for (size_t i = 0; i < kChunk; ++i)
                    chunk[i] = PatternByte(p, s.sent + i);
                ASSERT_TRUE(s.port->Write(chunk)) << "port " << p << " failed to write";
                s.sent += kChunk;
            }
            s.received.clear();
            ASSERT_TRUE(s.port->ReadAvailable(s.received)) << "port " << p << " failed to read";
            for (char byte : s.received) {
                ASSERT_EQ(byte, PatternByte(p, s.checked)) << "port " << p << " byte " << s.checked;
                ++s.checked;
            }
            if (!s.received.empty())
                s.lastProgress = Clock::now();
            ASSERT_LT(Clock::now() - s.lastProgress, 15s) << "port " << p << " stopped at byte " << s.checked;
        }
        if (Clock::now() >= nextSample) {
            samples.push_back(Sample(program.Handle(), start));
            size_t total = 0;
            for (const auto& s : streams)
                total += s.checked;
            std::printf("%4.0f s: %8.1f MiB checked, resident %6.1f MiB\n", samples.back().seconds, MiB(total),
                        MiB(samples.back().resident));
            std::fflush(stdout);
            nextSample += 10s;
        }
        std::this_thread::sleep_for(2ms);
    }

    for (int r = 0; r < kDevices; ++r)
        EXPECT_EQ(list.Cell(r, kColumnStatus), L"Ready") << "row " << r;
    // Memory: after the first half-minute of settling, the program may not keep growing.
    const auto settled = std::find_if(samples.begin(), samples.end(), [](const auto& s) { return s.seconds >= 30; });
    ASSERT_NE(settled, samples.end());
    ASSERT_GT(settled->resident, 0u) << "no memory figure to watch";
    const double growth = MiB(samples.back().resident) - MiB(settled->resident);
    std::printf("resident %.1f MiB at %.0f s, %.1f MiB at the end: %+.1f MiB\n", MiB(settled->resident),
                settled->seconds, MiB(samples.back().resident), growth);
    EXPECT_LT(growth, 4.0) << "the program's memory keeps growing";

    Click(kavrel.Item(kStopButton));
    EXPECT_TRUE(WaitUntil([&] { return list.Cell(0, kColumnStatus) == L"Enable"; }, 5s));
    streams.clear();
    Click(kavrel.Item(IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}
