// The engine through its C calls, with real pseudo-terminals and device servers on 127.0.0.1.

#include "port_dir_test.h"
#include "test_peers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

using namespace kavrel::test;
namespace fs = std::filesystem;

namespace {

std::size_t CountEntries(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& entry : fs::directory_iterator(dir)) {
        ++n;
    }
    return n;
}

using EngineTest = PortDirTest;

} // namespace

TEST_F(EngineTest, CallsFailCleanlyWithoutInitializeOrWithBadArguments) {
    EXPECT_EQ(vspe_createDevice("Connector", "7;1"), -1);
    EXPECT_FALSE(vspe_startEmulation());
    vspe_release(); // harmless before initialize
    MakeLink();
    EXPECT_EQ(vspe_createDevice(nullptr, "7;1"), -1);
    EXPECT_EQ(vspe_createDevice("Connector", nullptr), -1);
    int32_t untouched[4] = {5, 6, 7, 8};
    EXPECT_FALSE(vspe_getDeviceInfo(987654, &untouched[0], &untouched[1], &untouched[2], &untouched[3]));
    EXPECT_EQ(untouched[3], 8);
    // A device reply may carry any 32-bit port, and the tick hands it on unchecked.
    for (const char* port : {"0", "65536", "-2147483648", "4294967296"}) {
        const std::string init = std::string("127.0.0.1;") + port + ";100;2400,0,8,1,2,-1;0;10;;0;0";
        EXPECT_EQ(vspe_createDevice("TcpClient", init.c_str()), -1) << port;
    }
}

TEST_F(EngineTest, PortIsARawPtyWithTheLinkSettingsAndOnlyStaleLinksGiveWay) {
    fs::create_symlink("/dev/pts/9999", PortPath());
    MakeLink("115200,2,7,2,0,-1");
    EXPECT_TRUE(fs::read_symlink(PortPath()).string().starts_with("/dev/pts/"));
    EXPECT_NE(fs::read_symlink(PortPath()), "/dev/pts/9999");
    int fd = ::open(PortPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_TRUE(tio.c_cflag & CSTOPB); // Linux's pty keeps 8 data bits and no parity whatever it is told
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO)) << "raw: no line editing, no echo";

    // A name whose lock is held belongs to a live engine elsewhere: refused, its link left alone.
    int lock = ::open((dir_ + "/.COM8.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    fs::create_symlink("/dev/pts/9998", PortPath(8));
    EXPECT_EQ(vspe_createDevice("Connector", "8;1"), -1);
    EXPECT_EQ(fs::read_symlink(PortPath(8)), "/dev/pts/9998");
    ::close(lock);
    EXPECT_GT(vspe_createDevice("Connector", "8;1"), 0) << "its engine died";
}

TEST_F(EngineTest, StopClosesConnectionsKeepsPortsAndStartResumes) {
    DeviceServer server(DeviceServer::Mode::Echo);
    MakeLink();
    int32_t client = AddClient(server.Port());
    ASSERT_TRUE(vspe_startEmulation());
    EXPECT_TRUE(vspe_startEmulation()) << "a second start changes nothing";
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s) << "stop waited for an operation never cancelled";
    EXPECT_FALSE(Ready(client));
    EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }));
    EXPECT_TRUE(Ready(connector_) && fs::is_symlink(PortPath()));
    EXPECT_TRUE(vspe_stopEmulation());

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("while stopped")); // nothing attached: dropped
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    // The server's thread counts the accept a moment after the client has connected.
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 2; })) << server.Accepted() << " connections";
    EXPECT_EQ(program.Exchange("running"), "running");
}

TEST_F(EngineTest, DevicesComeAndGoWhileRunningAndReleaseLeavesNothingBehind) {
    const auto fds = CountEntries("/proc/self/fd");
    const auto threads = CountEntries("/proc/self/task");
    {
        DeviceServer first(DeviceServer::Mode::Record), second(DeviceServer::Mode::Record);
        ASSERT_TRUE(vspe_initialize());
        ASSERT_TRUE(vspe_startEmulation()); // with no device at all
        MakeLink();
        int32_t a = AddClient(first.Port()), b = AddClient(second.Port());
        ASSERT_TRUE(WaitUntil([&] { return Ready(a) && Ready(b); }));
        ASSERT_TRUE(vspe_destroyDevice(a));
        EXPECT_FALSE(vspe_destroyDevice(a));
        EXPECT_TRUE(WaitUntil([&] { return first.OpenConnections() == 0; }));
        SerialProgram program(PortPath());
        ASSERT_TRUE(program.Write("to b"));
        EXPECT_TRUE(WaitUntil([&] { return second.Received() == "to b"; }));
        EXPECT_EQ(first.Received(), "");

        ASSERT_TRUE(vspe_destroyAllDevices());
        EXPECT_TRUE(WaitUntil([&] { return second.OpenConnections() == 0; }));
        EXPECT_FALSE(fs::exists(fs::symlink_status(PortPath())));
        EXPECT_FALSE(Ready(b));
        vspe_release();
    }
    EXPECT_EQ(CountEntries(dir_), 0u) << "no link, no lock file";
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return CountEntries("/proc/self/task") == threads; }));
    MakeLink();
}

// The hub waits for a client that is slow but reads: nothing is lost that way. It cuts one that takes
// nothing while another moves, so that the rest flow, and joins it again once it reads.
TEST_F(EngineTest, HubWaitsForSlowClientsCutsAStalledOneAndFansIn) {
    using Mode = DeviceServer::Mode;
    struct Case {
        std::vector<Mode> modes;
        std::size_t bytes;
    };
    for (const Case& c : {Case{{Mode::Slow}, 8u << 20}, Case{{Mode::Record, Mode::Slow}, 8u << 20},
                          Case{{Mode::Record, Mode::Record, Mode::Record, Mode::Stalled}, 16u << 20}}) {
        vspe_release();
        std::vector<std::unique_ptr<DeviceServer>> servers;
        std::vector<int32_t> clients;
        MakeLink();
        for (Mode mode : c.modes) {
            servers.push_back(std::make_unique<DeviceServer>(mode));
            clients.push_back(AddClient(servers.back()->Port()));
        }
        ASSERT_TRUE(vspe_startEmulation());
        ASSERT_TRUE(WaitUntil([&] { return std::ranges::all_of(clients, Ready); }));
        SerialProgram program(PortPath());
        const std::string data = Pattern(c.bytes, c.bytes);
        ASSERT_TRUE(program.Write(data, 120s));
        for (auto& server : servers) {
            if (server->GetMode() == Mode::Stalled) { // last: the others have everything by now
                EXPECT_GE(server->Accepted(), 2) << "the stalled client was never cut";
                server->Resume();
                ASSERT_TRUE(WaitUntil([&] { return Ready(clients.back()); }));
                std::this_thread::sleep_for(300ms); // the new connection drains what was queued before
                const std::string tail = "after the stall";
                ASSERT_TRUE(program.Write(tail));
                EXPECT_TRUE(WaitUntil([&] { return server->Received().ends_with(tail); })) << "not back";
                continue;
            }
            EXPECT_TRUE(WaitUntil([&] { return server->Received().size() >= data.size(); }, 60s));
            EXPECT_TRUE(server->Received() == data) << "lost or reordered bytes";
            EXPECT_EQ(server->Accepted(), 1) << "a client that reads was cut";
        }
        // Back the other way, while the program does not read yet and everything on the way fills up:
        // each server's bytes reach the port whole and in order.
        constexpr std::size_t kRounds = 20;
        auto message = [](std::size_t i) {
            return std::string(64 * 1024, static_cast<char>('a' + i)) + static_cast<char>('A' + i);
        };
        std::thread sender([&] {
            for (std::size_t round = 0; round < kRounds * servers.size(); ++round) {
                servers[round % servers.size()]->SendToAll(message(round % servers.size()));
            }
        });
        std::this_thread::sleep_for(500ms);
        const std::string in = program.Read(kRounds * servers.size() * message(0).size(), 60s);
        sender.join();
        for (std::size_t i = 0; i < servers.size(); ++i) {
            const std::string m = message(i);
            std::string mine, expected;
            std::ranges::copy_if(in, std::back_inserter(mine),
                                 [&](char ch) { return ch == m.front() || ch == m.back(); });
            for (std::size_t round = 0; round < kRounds; ++round) {
                expected += m;
            }
            EXPECT_TRUE(mine == expected) << "client " << i << " of " << servers.size();
        }
    }
}
