// The engine under faults, through its C calls: device servers that restart or vanish, a serial program
// that opens and closes the port over and over, bulk transfers and an engine killed outright.

#include "port_dir_test.h"
#include "test_peers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

using namespace kavrel::test;
namespace fs = std::filesystem;

// The cases run at their CI size unless the variable scales them down for a quick run or up for a long one.
long Scaled(const char* variable, long ciValue) {
    const char* text = std::getenv(variable);
    return text ? std::atol(text) : ciValue;
}

using EngineFault = PortDirTest;
using EngineFaultLan = PortDirTest;

TEST_F(EngineFault, ServerRestartedManyTimesEveryReconnectCarriesItsBytesInOrder) {
    const long restarts = Scaled("KAVREL_FAULT_RESTARTS", 100);
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    const int32_t client = AddClient(server.Port());
    ASSERT_TRUE(vspe_startEmulation());
    SerialProgram program(PortPath());
    for (long round = 0; round < restarts; ++round) {
        const auto back = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitUntil([&] { return Ready(client); })) << "round " << round;
        EXPECT_LT(std::chrono::steady_clock::now() - back, 2s) << "round " << round << ": not joined again at once";
        const std::string data = "round " + std::to_string(round) + Pattern(3000, static_cast<std::uint64_t>(round));
        ASSERT_EQ(program.Exchange(data), data) << "round " << round;
        server.Stop();
        ASSERT_TRUE(WaitUntil([&] { return !Ready(client); })) << "round " << round;
        if (round == 1) { // away long enough for the waits between attempts to grow as far as they go
            std::this_thread::sleep_for(5s);
        }
        server.Restart();
    }
    EXPECT_TRUE(WaitUntil([&] { return Ready(client); }));
    // The server's thread counts an accept a moment after the client has connected.
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == restarts + 1; })) << server.Accepted() << " accepted";
}

TEST_F(EngineFault, ProgramOpensAndClosesThePortAThousandTimesWhileTcpStaysUp) {
    const long opens = Scaled("KAVREL_FAULT_OPENS", 1000);
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    RunClient(server.Port());
    SerialProgram program(PortPath());
    ASSERT_EQ(program.Exchange("warm"), "warm");
    program.Close();
    const std::size_t fdsBefore = CountEntries("/proc/self/fd");
    for (long i = 0; i < opens; ++i) {
        ASSERT_TRUE(program.Reopen()) << "open " << i;
        if (i % 100 == 99) {
            ASSERT_EQ(program.Exchange("open " + std::to_string(i)), "open " + std::to_string(i));
        }
        program.Close();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore) << "descriptors leaked";
    const std::clock_t cpu = std::clock();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC / 4) << "spinning while the port is closed";
    EXPECT_EQ(server.Accepted(), 1) << "TCP went down with the serial program";
    ASSERT_TRUE(program.Reopen());
    EXPECT_EQ(program.Exchange("last"), "last");
}

TEST_F(EngineFault, BulkBothWaysAtOnceWithoutLossReorderOrRepeat) {
    const auto bytes = static_cast<std::uint64_t>(Scaled("KAVREL_FAULT_BULK_MIB", 1024)) << 20;
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    RunClient(server.Port());
    SerialProgram program(PortPath());
    for (std::uint64_t at = 0; at < bytes; at += 1 << 20) {
        const std::string chunk = Pattern(1 << 20, at);
        ASSERT_TRUE(program.Exchange(chunk) == chunk) << "lost, reordered or repeated within MiB " << (at >> 20);
    }
}

TEST_F(EngineFault, EngineKilledWithSigkillTheNextStartsCleanly) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // an engine with a running link, in a process of its own
        MakeLink();
        vspe_startEmulation();
        std::ofstream(dir_ + "/ready").put('\n');
        for (;;) {
            ::pause();
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(dir_ + "/ready"); }));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_TRUE(fs::is_symlink(PortPath())) << "a killed engine cannot clean up; the next one must cope";

    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    RunClient(server.Port());
    SerialProgram program(PortPath());
    EXPECT_EQ(program.Exchange("after the kill"), "after the kill");
}

// Runs inside tools/lan: the device is kavrel-devsim's first, behind the bridge of the LAN namespace.
TEST_F(EngineFaultLan, DeviceThatVanishesWithoutClosingIsNoticedAndReconnected) {
    const char* lan = std::getenv("KAVREL_LAN_NETNS");
    if (!std::getenv("KAVREL_IN_NETNS") || !lan) {
        GTEST_SKIP() << "needs the simulated LAN (tools/lan, as root)";
    }
    MakeLink();
    const int32_t client = RunClient(4001, "", "198.18.1.1");
    SerialProgram program(PortPath());
    EXPECT_EQ(program.Exchange("before"), "before");

    ASSERT_EQ(std::system(("ip -n " + std::string(lan) + " link set br0 down").c_str()), 0);
    const auto gone = std::chrono::steady_clock::now();
    // Bytes in flight while the peer is gone: the case where keep-alive alone would wait.
    EXPECT_TRUE(program.Write("into the void"));
    ASSERT_TRUE(WaitUntil([&] { return !Ready(client); }, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - gone, 10s);

    ASSERT_EQ(std::system(("ip -n " + std::string(lan) + " link set br0 up").c_str()), 0);
    EXPECT_TRUE(WaitUntil([&] { return Ready(client); }, 60s)) << "not reconnected when the device returned";
    program.Read(64, 700ms); // whatever the device echoed before it vanished
    EXPECT_EQ(program.Exchange("after"), "after");
}
