// The engine through its C calls, with real pseudo-terminals and device servers on 127.0.0.1.

#include "engine/vspe_api.h"
#include "port_dir_test.h"
#include "test_peers.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

using namespace kavrel::test;
namespace fs = std::filesystem;

namespace {

constexpr int kCom = 7;
constexpr const char* kSplitter = "100;7;0;2400,0,8,1,2,-1;0;0;0";

// The program's TcpClient init string: a connection attempt may take 10 s.
std::string ClientInit(std::uint16_t port, int link = 100) {
    return "127.0.0.1;" + std::to_string(port) + ";" + std::to_string(link) + ";2400,0,8,1,2,-1;0;10;;0;0";
}

bool Ready(int32_t id) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

std::size_t CountEntries(const char* dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator(dir)) {
        ++n;
    }
    return n;
}

class EngineTest : public PortDirTest {
protected:
    std::string PortPath(int com = kCom) const { return dir_ + "/COM" + std::to_string(com); }

    // Connector COM7 and Splitter 100, as the program makes a port link.
    void MakeLink() {
        ASSERT_TRUE(vspe_initialize());
        connector_ = vspe_createDevice("Connector", "7;1");
        ASSERT_GT(connector_, 0);
        splitter_ = vspe_createDevice("Splitter", kSplitter);
        ASSERT_GT(splitter_, 0);
    }

    // The port link with one TcpClient to port, emulation running and the client connected.
    void RunLinkWithClient(std::uint16_t port, int32_t& client) {
        ASSERT_NO_FATAL_FAILURE(MakeLink());
        client = vspe_createDevice("TcpClient", ClientInit(port).c_str());
        ASSERT_TRUE(vspe_startEmulation());
        ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    }

    int32_t connector_ = -1;
    int32_t splitter_ = -1;
};

// Writes from another thread while reading here: an echo must be drained as it comes back.
std::string Exchange(SerialProgram& program, const std::string& data) {
    std::thread writer([&] { EXPECT_TRUE(program.Write(data)); });
    std::string echoed = program.Read(data.size(), 60s);
    writer.join();
    return echoed;
}

} // namespace

TEST_F(EngineTest, CallsFailCleanlyWithoutInitialize) {
    EXPECT_EQ(vspe_createDevice("Connector", "7;1"), -1);
    EXPECT_FALSE(vspe_startEmulation());
    EXPECT_FALSE(vspe_destroyDevice(1));
    int32_t ready = 42;
    EXPECT_FALSE(vspe_getDeviceInfo(1, nullptr, nullptr, nullptr, &ready));
    EXPECT_EQ(ready, 42);
    vspe_release(); // harmless twice
    ASSERT_TRUE(vspe_initialize());
    EXPECT_EQ(vspe_createDevice(nullptr, "7;1"), -1);
    EXPECT_EQ(vspe_createDevice("Connector", nullptr), -1);
}

TEST_F(EngineTest, ConnectorPublishesRawPtyAndSplitterFollowsIt) {
    MakeLink();
    ASSERT_TRUE(fs::is_symlink(PortPath()));
    EXPECT_TRUE(fs::read_symlink(PortPath()).string().starts_with("/dev/pts/"));
    EXPECT_EQ(vspe_createDevice("Connector", "7;0"), -1) << "COM7 exists";
    EXPECT_EQ(vspe_createDevice("Splitter", "101;9;0;2400,0,8,1,2,-1;0;0;0"), -1) << "no COM9";
    EXPECT_EQ(vspe_createDevice("TcpClient", ClientInit(5000, 101).c_str()), -1) << "no link 101";
    EXPECT_EQ(vspe_createDevice("TcpClient", "localhost;5000;100;2400,0,8,1,2,-1;0;10;;0;0"), -1);
    EXPECT_EQ(vspe_createDevice("Serial", "7;1"), -1);

    int32_t a = 0, b = 0, c = 0, ready = 0;
    ASSERT_TRUE(vspe_getDeviceInfo(connector_, &a, &b, &c, &ready));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, kCom);
    EXPECT_NE(ready, 0);
    EXPECT_TRUE(Ready(splitter_));
    int32_t untouched[4] = {5, 6, 7, 8};
    EXPECT_FALSE(vspe_getDeviceInfo(987654, &untouched[0], &untouched[1], &untouched[2], &untouched[3]));
    EXPECT_EQ(untouched[3], 8);
    EXPECT_EQ(untouched[0], 5);

    // A failed tick's undo destroys the Connector before the Splitter.
    ASSERT_TRUE(vspe_destroyDevice(connector_));
    EXPECT_FALSE(fs::exists(fs::symlink_status(PortPath())));
    EXPECT_FALSE(Ready(splitter_));
    EXPECT_TRUE(vspe_destroyDevice(splitter_));
    EXPECT_FALSE(vspe_destroyDevice(splitter_));
    int32_t again = vspe_createDevice("Connector", "7;1");
    EXPECT_GT(again, splitter_) << "ids are not reused";
}

TEST_F(EngineTest, SplitterAppliesLineSettingsThePtyCarries) {
    ASSERT_TRUE(vspe_initialize());
    ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
    ASSERT_GT(vspe_createDevice("Splitter", "100;7;0;115200,2,7,2,0,-1;0;0;0"), 0);
    int fd = ::open(PortPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    // Linux's pty keeps 8 data bits and no parity whatever it is told: nothing to check there.
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO)) << "raw: no line editing, no echo";
}

TEST_F(EngineTest, StaleLinkIsReplacedLiveOwnerIsRespected) {
    fs::create_symlink("/dev/pts/9999", PortPath());
    ASSERT_TRUE(vspe_initialize());
    ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
    EXPECT_NE(fs::read_symlink(PortPath()), "/dev/pts/9999");
    SerialProgram program(PortPath());
    EXPECT_TRUE(program.IsOpen());

    // A name whose lock is held belongs to a live engine elsewhere: refused, its link left alone.
    std::string lockPath = dir_ + "/.COM8.lock";
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    fs::create_symlink("/dev/pts/9998", PortPath(8));
    EXPECT_EQ(vspe_createDevice("Connector", "8;1"), -1);
    EXPECT_EQ(fs::read_symlink(PortPath(8)), "/dev/pts/9998");
    ::close(lock);
    EXPECT_GT(vspe_createDevice("Connector", "8;1"), 0) << "its engine died";
}

TEST_F(EngineTest, ByteStreamBothWaysThroughOneClient) {
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    int32_t client = vspe_createDevice("TcpClient", ClientInit(server.Port()).c_str());
    ASSERT_GT(client, 0);
    EXPECT_FALSE(Ready(client)) << "not connected before emulation starts";
    EXPECT_EQ(server.Accepted(), 0);
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.IsOpen());
    // Every byte value, including the ones a cooked terminal would act on.
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(Exchange(program, all), all);
    auto bulk = Pattern(512 * 1024, 1);
    EXPECT_TRUE(Exchange(program, bulk) == bulk) << "bulk data lost, reordered or altered";
}

TEST_F(EngineTest, FanOutAndFanInWithThreeClients) {
    std::vector<std::unique_ptr<DeviceServer>> servers;
    MakeLink();
    std::vector<int32_t> clients;
    for (int i = 0; i < 3; ++i) {
        servers.push_back(std::make_unique<DeviceServer>(DeviceServer::Mode::Record));
        clients.push_back(vspe_createDevice("TcpClient", ClientInit(servers.back()->Port()).c_str()));
        ASSERT_GT(clients.back(), 0);
    }
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(clients[0]) && Ready(clients[1]) && Ready(clients[2]); }));
    SerialProgram program(PortPath());

    auto out = Pattern(200 * 1024, 2);
    ASSERT_TRUE(program.Write(out));
    for (auto& server : servers) {
        EXPECT_TRUE(WaitUntil([&] { return server->Received().size() >= out.size(); }));
        EXPECT_TRUE(server->Received() == out) << "every client gets every byte, in order";
    }

    std::vector<std::string> messages;
    for (int i = 0; i < 3; ++i) {
        // Each client ends its messages with a mark of its own: a mark shared by all could not be told
        // apart when a client's message reaches the port split around another client's bytes.
        messages.push_back(std::string(1000, static_cast<char>('a' + i)) + static_cast<char>('A' + i));
    }
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 3; ++i) {
            servers[static_cast<std::size_t>(i)]->SendToAll(messages[static_cast<std::size_t>(i)]);
        }
    }
    std::string in = program.Read(3 * 20 * 1001);
    ASSERT_EQ(in.size(), 3u * 20 * 1001);
    for (int i = 0; i < 3; ++i) {
        std::string mine;
        for (char ch : in) {
            if (ch == 'a' + i || ch == 'A' + i) {
                mine.push_back(ch);
            }
        }
        std::string expected;
        for (int round = 0; round < 20; ++round) {
            expected += messages[static_cast<std::size_t>(i)];
        }
        EXPECT_TRUE(mine == expected) << "client " << i << "'s bytes arrive whole and in order";
    }
}

TEST_F(EngineTest, ReconnectsAfterServerRestart) {
    DeviceServer server(DeviceServer::Mode::Echo);
    int32_t client = -1;
    ASSERT_NO_FATAL_FAILURE(RunLinkWithClient(server.Port(), client));
    SerialProgram program(PortPath());
    EXPECT_EQ(Exchange(program, "before"), "before");

    server.Stop();
    EXPECT_TRUE(WaitUntil([&] { return !Ready(client); })) << "the loss shows in the status";
    // Away long enough for the waits between attempts to have grown as far as they go.
    std::this_thread::sleep_for(5s);
    server.Restart();
    const auto back = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil([&] { return Ready(client); }));
    EXPECT_LT(std::chrono::steady_clock::now() - back, 2s) << "a returning device is joined again at once";
    EXPECT_EQ(Exchange(program, "after"), "after");
}

TEST_F(EngineTest, StopClosesConnectionsKeepsPortsAndStartResumes) {
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    int32_t client = vspe_createDevice("TcpClient", ClientInit(server.Port()).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    EXPECT_TRUE(vspe_startEmulation()) << "a second start changes nothing";
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s) << "stop waited for an operation never cancelled";
    EXPECT_FALSE(Ready(client));
    EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }));
    EXPECT_TRUE(fs::is_symlink(PortPath()));
    EXPECT_TRUE(Ready(connector_));
    EXPECT_TRUE(vspe_stopEmulation());

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("while stopped")); // nothing attached: dropped
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    // The server's thread counts the accept a moment after the client has connected.
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 2; })) << server.Accepted() << " connections";
    EXPECT_EQ(Exchange(program, "running"), "running");
}

TEST_F(EngineTest, DevicesComeAndGoWhileRunning) {
    DeviceServer first(DeviceServer::Mode::Record), second(DeviceServer::Mode::Record);
    ASSERT_TRUE(vspe_initialize());
    ASSERT_TRUE(vspe_startEmulation()); // with no device at all
    connector_ = vspe_createDevice("Connector", "7;1");
    splitter_ = vspe_createDevice("Splitter", kSplitter);
    int32_t a = vspe_createDevice("TcpClient", ClientInit(first.Port()).c_str());
    int32_t b = vspe_createDevice("TcpClient", ClientInit(second.Port()).c_str());
    ASSERT_TRUE(connector_ > 0 && splitter_ > 0 && a > 0 && b > 0);
    ASSERT_TRUE(WaitUntil([&] { return Ready(a) && Ready(b); }));

    ASSERT_TRUE(vspe_destroyDevice(a));
    EXPECT_TRUE(WaitUntil([&] { return first.OpenConnections() == 0; }));
    int32_t info = 0;
    EXPECT_FALSE(vspe_getDeviceInfo(a, nullptr, nullptr, nullptr, &info));
    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("to b"));
    EXPECT_TRUE(WaitUntil([&] { return second.Received() == "to b"; }));
    EXPECT_EQ(first.Received(), "");

    ASSERT_TRUE(vspe_destroyAllDevices());
    EXPECT_TRUE(WaitUntil([&] { return second.OpenConnections() == 0; }));
    EXPECT_FALSE(fs::exists(fs::symlink_status(PortPath())));
    EXPECT_FALSE(Ready(b));
    EXPECT_TRUE(vspe_stopEmulation());
}

TEST_F(EngineTest, ReleaseLeavesNothingBehindAndInitializeStartsAfresh) {
    auto fds = CountEntries("/proc/self/fd");
    auto threads = CountEntries("/proc/self/task");
    {
        DeviceServer server(DeviceServer::Mode::Echo);
        MakeLink();
        int32_t client = vspe_createDevice("TcpClient", ClientInit(server.Port()).c_str());
        ASSERT_TRUE(vspe_startEmulation());
        ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
        vspe_release();
        EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }));
    }
    EXPECT_EQ(CountEntries(dir_.c_str()), 0u) << "no link, no lock file";
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return CountEntries("/proc/self/task") == threads; }));
    EXPECT_FALSE(Ready(connector_));

    ASSERT_TRUE(vspe_initialize());
    EXPECT_GT(vspe_createDevice("Connector", "7;1"), connector_);
    EXPECT_TRUE(fs::is_symlink(PortPath()));
}

TEST_F(EngineTest, ProgramThatClosesAndReopensFindsDataFlowingAndEngineIdle) {
    DeviceServer server(DeviceServer::Mode::Echo);
    int32_t client = -1;
    ASSERT_NO_FATAL_FAILURE(RunLinkWithClient(server.Port(), client));
    {
        SerialProgram program(PortPath());
        EXPECT_EQ(Exchange(program, "first open"), "first open");
    }
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(1s);
    getrusage(RUSAGE_SELF, &after);
    auto cpuUs = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    EXPECT_LT(cpuUs(after) - cpuUs(before), 250000) << "spinning while the port is closed";
    SerialProgram again(PortPath());
    EXPECT_EQ(Exchange(again, "second open"), "second open");
    EXPECT_TRUE(Ready(client));
}

TEST_F(EngineTest, SlowSerialProgramPushesBackWithoutLoss) {
    DeviceServer server(DeviceServer::Mode::Record);
    int32_t client = -1;
    ASSERT_NO_FATAL_FAILURE(RunLinkWithClient(server.Port(), client));
    SerialProgram program(PortPath());
    // Far more than the pty, the engine and both socket buffers hold: the server's writes must wait.
    auto data = Pattern(8 * 1024 * 1024, 3);
    std::thread sender([&] { server.SendToAll(data); });
    std::this_thread::sleep_for(500ms); // let everything fill up before the program starts reading
    std::string got = program.Read(data.size(), 60s);
    sender.join();
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
    EXPECT_TRUE(Ready(client)) << "back-pressure is not a reason to cut the connection";
}

// A peer far behind that still reads is slow, not gone: the port waits for it rather than cutting it. (A
// peer that stops reading is cut: engine_faults.)
TEST_F(EngineTest, SlowClientThatStillReadsIsNotCutAndBothGetEverything) {
    DeviceServer fast(DeviceServer::Mode::Record), slow(DeviceServer::Mode::Slow);
    MakeLink();
    int32_t fastClient = vspe_createDevice("TcpClient", ClientInit(fast.Port()).c_str());
    int32_t slowClient = vspe_createDevice("TcpClient", ClientInit(slow.Port()).c_str());
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(fastClient) && Ready(slowClient); }));
    SerialProgram program(PortPath());
    auto data = Pattern(8 * 1024 * 1024, 4);
    ASSERT_TRUE(program.Write(data, 120s));
    for (DeviceServer* server : {&fast, &slow}) {
        EXPECT_TRUE(WaitUntil([&] { return server->Received().size() >= data.size(); }, 60s));
        EXPECT_TRUE(server->Received() == data);
    }
    EXPECT_EQ(slow.Accepted(), 1);
}

TEST_F(EngineTest, LoneSlowClientHoldsTheProgramBackInsteadOfBeingCut) {
    DeviceServer slow(DeviceServer::Mode::Slow);
    int32_t client = -1;
    ASSERT_NO_FATAL_FAILURE(RunLinkWithClient(slow.Port(), client));
    SerialProgram program(PortPath());
    // More than the cut-off bound and every socket buffer together: with nobody faster to protect, the
    // program's writes wait instead.
    auto data = Pattern(8 * 1024 * 1024, 5);
    ASSERT_TRUE(program.Write(data, 120s));
    EXPECT_TRUE(WaitUntil([&] { return slow.Received().size() >= data.size(); }, 120s));
    EXPECT_TRUE(slow.Received() == data);
    EXPECT_EQ(slow.Accepted(), 1);
}
