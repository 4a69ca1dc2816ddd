// The engine under faults, through its C calls: device servers that restart, stall or vanish, a serial
// program that opens and closes the port over and over, bulk transfers both ways, and an engine killed
// outright.

#include "engine/vspe_api.h"
#include "fault_peers.h"
#include "port_dir_test.h"
#include "test_peers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace kavrel::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSplitter = "100;7;0;2400,0,8,1,2,-1;0;0;0";

// The program's TcpClient init string.
std::string ClientInit(const std::string& host, std::uint16_t port) {
    return host + ";" + std::to_string(port) + ";100;2400,0,8,1,2,-1;0;10;;0;0";
}

bool Ready(int32_t id) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

// The cases run at their full size by default; the variable scales one down for a quick local run or up for
// a longer one.
long Scaled(const char* variable, long ciValue) {
    const char* text = std::getenv(variable);
    return text ? std::atol(text) : ciValue;
}

long CpuMicroseconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
}

std::size_t OpenFds() {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

std::string Exchange(SerialProgram& program, const std::string& data) {
    std::thread writer([&] { EXPECT_TRUE(program.Write(data)); });
    std::string echoed = program.Read(data.size(), 60s);
    writer.join();
    return echoed;
}

class EngineFault : public PortDirTest {
protected:
    std::string PortPath() const { return dir_ + "/COM7"; }

    void MakeLink() {
        ASSERT_TRUE(vspe_initialize());
        ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
        ASSERT_GT(vspe_createDevice("Splitter", kSplitter), 0);
    }
};

} // namespace

TEST_F(EngineFault, ServerRestartedManyTimesEveryReconnectCarriesItsBytesInOrder) {
    const long restarts = Scaled("KAVREL_FAULT_RESTARTS", 100);
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    const int32_t client = vspe_createDevice("TcpClient", ClientInit("127.0.0.1", server.Port()).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    SerialProgram program(PortPath());
    ASSERT_TRUE(program.IsOpen());
    auto worst = 0ms;
    for (long round = 0; round < restarts; ++round) {
        const auto back = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitUntil([&] { return Ready(client); })) << "round " << round;
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - back);
        worst = std::max(worst, took);
        EXPECT_LT(took, 2s) << "round " << round;
        const std::string data = "round " + std::to_string(round) + " " + Pattern(3000, static_cast<unsigned>(round));
        ASSERT_EQ(Exchange(program, data), data) << "round " << round;
        server.Stop();
        ASSERT_TRUE(WaitUntil([&] { return !Ready(client); })) << "round " << round;
        server.Restart();
    }
    EXPECT_TRUE(WaitUntil([&] { return Ready(client); }));
    // The server's thread counts an accept a moment after the client has connected.
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == restarts + 1; })) << server.Accepted() << " accepted";
    std::printf("%ld restarts, slowest reconnect %lld ms\n", restarts, static_cast<long long>(worst.count()));
}

TEST_F(EngineFault, OneOfFourClientsStopsReadingOthersFlowItIsCutAndComesBack) {
    DeviceServer a(DeviceServer::Mode::Record), b(DeviceServer::Mode::Record), c(DeviceServer::Mode::Record);
    StallServer stalled;
    stalled.SetReading(false);
    MakeLink();
    std::vector<int32_t> clients;
    for (std::uint16_t port : {a.Port(), b.Port(), c.Port(), stalled.Port()})
        clients.push_back(vspe_createDevice("TcpClient", ClientInit("127.0.0.1", port).c_str()));
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(
        WaitUntil([&] { return Ready(clients[0]) && Ready(clients[1]) && Ready(clients[2]) && Ready(clients[3]); }));
    SerialProgram program(PortPath());
    const auto data = Pattern(16 * 1024 * 1024, 11);
    ASSERT_TRUE(program.Write(data, 120s));
    for (DeviceServer* server : {&a, &b, &c}) {
        EXPECT_TRUE(WaitUntil([&] { return server->Received().size() >= data.size(); }, 60s));
        EXPECT_TRUE(server->Received() == data) << "a healthy client lost or reordered bytes";
        EXPECT_EQ(server->Accepted(), 1) << "a healthy client was cut";
    }
    EXPECT_GE(stalled.Accepted(), 2) << "the stalled client was never cut";

    // Reading again: it reconnects and gets what is written from then on.
    stalled.SetReading(true);
    ASSERT_TRUE(WaitUntil([&] { return Ready(clients[3]); }));
    std::this_thread::sleep_for(300ms); // let the newest connection drain what was queued before
    const std::string tail = "after the stall";
    ASSERT_TRUE(program.Write(tail));
    EXPECT_TRUE(WaitUntil([&] {
        const std::string got = stalled.NewestReceived();
        return got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0;
    })) << "the stalled client did not come back";
    for (DeviceServer* server : {&a, &b, &c})
        EXPECT_TRUE(WaitUntil([&] { return server->Received().size() == data.size() + tail.size(); }));
}

TEST_F(EngineFault, ProgramOpensAndClosesThePortAThousandTimesWhileTcpStaysUp) {
    const long opens = Scaled("KAVREL_FAULT_OPENS", 1000);
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    const int32_t client = vspe_createDevice("TcpClient", ClientInit("127.0.0.1", server.Port()).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    {
        SerialProgram warmUp(PortPath());
        ASSERT_EQ(Exchange(warmUp, "warm"), "warm");
    }
    const std::size_t fdsBefore = OpenFds();
    SerialProgram program(PortPath());
    for (long i = 0; i < opens; ++i) {
        ASSERT_TRUE(program.Reopen()) << "open " << i;
        if (i % 100 == 99) {
            const std::string data = "open " + std::to_string(i);
            ASSERT_EQ(Exchange(program, data), data);
        }
        program.Close();
    }
    EXPECT_EQ(OpenFds(), fdsBefore) << "descriptors leaked";
    const long cpuBefore = CpuMicroseconds();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(CpuMicroseconds() - cpuBefore, 250000) << "spinning while the port is closed";
    EXPECT_TRUE(Ready(client));
    EXPECT_EQ(server.Accepted(), 1) << "TCP went down with the serial program";
    ASSERT_TRUE(program.Reopen());
    EXPECT_EQ(Exchange(program, "last"), "last");
}

TEST_F(EngineFault, BulkEachWayAndBothAtOnceWithoutLossReorderOrRepeat) {
    const auto bytes = static_cast<std::uint64_t>(Scaled("KAVREL_FAULT_BULK_MIB", 1024)) << 20;
    MakeLink();
    ASSERT_TRUE(vspe_startEmulation());
    struct Case {
        const char* name;
        std::uint64_t toDevice, toProgram;
    };
    for (const Case& c :
         {Case{"to the device", bytes, 0}, Case{"to the program", 0, bytes}, Case{"both at once", bytes, bytes}}) {
        CounterServer server(c.toProgram, c.toDevice);
        const int32_t client = vspe_createDevice("TcpClient", ClientInit("127.0.0.1", server.Port()).c_str());
        ASSERT_GT(client, 0);
        ASSERT_TRUE(WaitUntil([&] { return Ready(client); })) << c.name;
        const int fd = ::open(PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const auto start = std::chrono::steady_clock::now();
        const StreamResult program = StreamCounter(fd, c.toDevice, c.toProgram, 900);
        const StreamResult device = server.Wait();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ::close(fd);
        EXPECT_EQ(program.sent, c.toDevice) << c.name;
        EXPECT_EQ(device.received, c.toDevice) << c.name;
        EXPECT_EQ(device.firstBadOffset, -1) << c.name;
        EXPECT_EQ(device.sent, c.toProgram) << c.name;
        EXPECT_EQ(program.received, c.toProgram) << c.name;
        EXPECT_EQ(program.firstBadOffset, -1) << c.name;
        std::printf("%s: %llu MiB in %.1f s\n", c.name, static_cast<unsigned long long>(bytes >> 20), seconds);
        vspe_stopEmulation();
        vspe_destroyDevice(client);
        ASSERT_TRUE(vspe_startEmulation());
    }
}

TEST_F(EngineFault, EngineKilledWithSigkillTheNextStartsCleanly) {
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(KAVREL_FAULT_CHILD, KAVREL_FAULT_CHILD, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char said[16] = {};
    const ssize_t n = ::read(out[0], said, sizeof said - 1);
    ::close(out[0]);
    ASSERT_GT(n, 0);
    ASSERT_STREQ(said, "ready\n");
    ASSERT_TRUE(fs::is_symlink(PortPath()));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(fs::is_symlink(PortPath())) << "a killed engine cannot clean up; the next one must cope";

    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    const int32_t client = vspe_createDevice("TcpClient", ClientInit("127.0.0.1", server.Port()).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    EXPECT_TRUE(fs::exists(PortPath())) << "the link points at a live terminal";
    SerialProgram program(PortPath());
    ASSERT_TRUE(program.IsOpen());
    EXPECT_EQ(Exchange(program, "after the kill"), "after the kill");
}

// A device reply may carry any 32-bit port; the row shows it as it came and the tick hands it on unchecked.
TEST_F(EngineFault, TcpPortOutOfRangeMakesNoDeviceAndLeavesTheLinkWorking) {
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    for (const char* port : {"-1", "0", "65536", "70000", "-2147483648", "4294967296"}) {
        const std::string init = std::string("127.0.0.1;") + port + ";100;2400,0,8,1,2,-1;0;10;;0;0";
        EXPECT_EQ(vspe_createDevice("TcpClient", init.c_str()), -1) << port;
    }
    const int32_t client = vspe_createDevice("TcpClient", ClientInit("127.0.0.1", server.Port()).c_str());
    ASSERT_GT(client, 0);
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    SerialProgram program(PortPath());
    EXPECT_EQ(Exchange(program, "still linked"), "still linked");
    EXPECT_EQ(server.Accepted(), 1) << "a refused TcpClient connected anyway";
}

// Runs inside tools/lan: the device is kavrel-devsim's first, behind the bridge of the LAN namespace.
TEST(EngineFaultLan, DeviceThatVanishesWithoutClosingIsNoticedAndReconnected) {
    const char* lan = std::getenv("KAVREL_LAN_NETNS");
    if (!std::getenv("KAVREL_IN_NETNS") || !lan)
        GTEST_SKIP() << "needs the simulated LAN (tools/lan, as root)";
    char tmpl[] = "/tmp/kavrel-fault-lan.XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string dir = tmpl;
    setenv("KAVREL_PORT_DIR", dir.c_str(), 1);
    ASSERT_TRUE(vspe_initialize());
    ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
    ASSERT_GT(vspe_createDevice("Splitter", kSplitter), 0);
    const int32_t client = vspe_createDevice("TcpClient", ClientInit("198.18.1.1", 4001).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    SerialProgram program(dir + "/COM7");
    EXPECT_EQ(Exchange(program, "before"), "before");

    const std::string ns = lan;
    ASSERT_EQ(std::system(("ip -n " + ns + " link set br0 down").c_str()), 0);
    const auto gone = std::chrono::steady_clock::now();
    // Bytes in flight while the peer is gone: the case where keep-alive alone would wait.
    EXPECT_TRUE(program.Write("into the void"));
    ASSERT_TRUE(WaitUntil([&] { return !Ready(client); }, 30s));
    const auto noticed = std::chrono::steady_clock::now() - gone;
    EXPECT_LT(noticed, 10s);

    ASSERT_EQ(std::system(("ip -n " + ns + " link set br0 up").c_str()), 0);
    EXPECT_TRUE(WaitUntil([&] { return Ready(client); }, 60s)) << "not reconnected when the device returned";
    std::this_thread::sleep_for(200ms);
    program.Read(64, 500ms); // whatever the device echoed before it vanished
    EXPECT_EQ(Exchange(program, "after"), "after");
    std::printf("vanished device noticed after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(noticed).count()));
    vspe_release();
    fs::remove_all(dir);
}
