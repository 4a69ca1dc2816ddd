// kavrel.exe under Wine in the simulated LAN, timed: from launch to its visible window, and from there
// (the first search goes out as the window is set up) to the last row, with the rows that never came.
// Started by bench/wine_cases inside tools/lan and tools/wine-run, from the folder of kavrel.exe:
//   bench_discovery.exe DEVICES [REPETITIONS [POLL_MS [trace]]]
// With "trace", the row count every 100 ms goes to standard error, to see whether rows come in bursts or
// one by one.
// Prints medians: "startup MS", "disc<DEVICES> MS", "launch<DEVICES> MS" and the worst "miss<DEVICES> ROWS".

#include "tools/win-driver/Driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::e2e;
using Clock = std::chrono::steady_clock;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
constexpr int kMacColumn = 4;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Run {
    double startup = -1, lastRow = -1, launch = -1;
    int missing = 0;
};

int pollMs = 2;
bool trace = false;

// Polls finer than WaitUntil, which sleeps 50 ms between looks.
template <class Condition> bool Poll(Condition condition, Clock::duration timeout) {
    for (auto end = Clock::now() + timeout; !condition();) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

Run Once(int devices) {
    Run run;
    const auto t0 = Clock::now();
    Program program;
    HWND dialog = nullptr;
    if (!Poll(
            [&] {
                auto windows = TopLevelWindows(program.Id(), kTitle);
                dialog = windows.empty() ? nullptr : windows.front();
                return dialog != nullptr;
            },
            std::chrono::seconds(30))) {
        run.missing = devices;
        return run;
    }
    const auto shown = Clock::now();
    run.startup = Ms(shown - t0);
    RemoteListView list(GetDlgItem(dialog, 1003));
    auto nextTrace = shown;
    bool all = Poll(
        [&] {
            const int rows = list.RowCount();
            if (trace && Clock::now() >= nextTrace) {
                std::fprintf(stderr, "trace %.0f ms %d rows\n", Ms(Clock::now() - shown), rows);
                nextTrace += std::chrono::milliseconds(100);
            }
            return rows >= devices;
        },
        std::chrono::seconds(60));
    const auto last = Clock::now();
    if (all) {
        run.lastRow = Ms(last - shown);
        run.launch = Ms(last - t0);
    }
    // Late replies have had their chance; every row must be a distinct device.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::set<std::wstring> macs;
    for (int r = 0; r < list.RowCount(); ++r) {
        macs.insert(list.Cell(r, kMacColumn));
    }
    macs.erase(L"");
    run.missing = devices - static_cast<int>(macs.size());
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int devices = argc > 1 ? std::atoi(argv[1]) : 10;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    pollMs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    trace = argc > 4 && std::string(argv[4]) == "trace";
    try {
        std::vector<double> startup, lastRow, launch;
        int worst = 0;
        for (int i = 0; i < repetitions; ++i) {
            Run run = Once(devices);
            std::fprintf(stderr, "run %d: start-up %.0f ms, last row %.0f ms after the window, %d missing\n", i,
                         run.startup, run.lastRow, run.missing);
            startup.push_back(run.startup);
            lastRow.push_back(run.lastRow);
            launch.push_back(run.launch);
            worst = std::max(worst, run.missing);
            // The single-instance mutex goes with the ended process; give Wine a moment to let it go.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        // A run that never saw every row counts as failed: no median is printed for it.
        bool complete = std::none_of(lastRow.begin(), lastRow.end(), [](double v) { return v < 0; });
        std::printf("startup %.0f\n", Median(startup));
        if (complete) {
            std::printf("disc%d %.0f\nlaunch%d %.0f\n", devices, Median(lastRow), devices, Median(launch));
        } else {
            std::printf("disc%d FAIL\nlaunch%d FAIL\n", devices, devices);
        }
        std::printf("miss%d %d\n", devices, worst);
        std::fflush(stdout);
        return complete && worst == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_discovery: %s\n", e.what());
        return 1;
    }
}
