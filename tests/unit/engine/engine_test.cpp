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

using EngineTest = PortDirTest;

TEST_F(EngineTest, PortIsARawPtyWithTheLinkSettingsAndALiveOwnersNameIsLeftAlone) {
    MakeLink("115200,2,7,2,0,-1");
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
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s) << "stop waited for an operation never cancelled";
    EXPECT_FALSE(Ready(client));
    EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }));
    EXPECT_TRUE(Ready(connector_) && fs::is_symlink(PortPath()));

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("while stopped")); // nothing attached: dropped
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    // The server's thread counts the accept a moment after the client has connected.
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 2; })) << server.Accepted() << " connections";
    EXPECT_EQ(program.Exchange("running"), "running");
}

TEST_F(EngineTest, CallsFailCleanlyDevicesComeAndGoWhileRunningAndReleaseLeavesNothingBehind) {
    EXPECT_EQ(vspe_createDevice("Connector", "7;1"), -1) << "not initialized";
    const auto fds = CountEntries("/proc/self/fd"), threads = CountEntries("/proc/self/task");
    {
        DeviceServer server(DeviceServer::Mode::Record);
        ASSERT_TRUE(vspe_initialize());
        ASSERT_TRUE(vspe_startEmulation()); // with no device at all
        EXPECT_EQ(vspe_createDevice(nullptr, nullptr), -1);
        MakeLink();
        RunClient(server.Port());
        ASSERT_TRUE(vspe_destroyAllDevices());
        EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == 0; }));
        EXPECT_FALSE(fs::exists(fs::symlink_status(PortPath())));
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
    for (const std::vector<Mode>& modes : {std::vector{Mode::Slow},
                                           {Mode::Record, Mode::Slow},
                                           {Mode::Record, Mode::Record, Mode::Record, Mode::Stalled}}) {
        vspe_release();
        std::vector<std::unique_ptr<DeviceServer>> servers;
        std::vector<int32_t> clients;
        MakeLink();
        for (Mode mode : modes) {
            servers.push_back(std::make_unique<DeviceServer>(mode));
            clients.push_back(AddClient(servers.back()->Port()));
        }
        ASSERT_TRUE(vspe_startEmulation());
        ASSERT_TRUE(WaitUntil([&] { return std::ranges::all_of(clients, Ready); }));
        SerialProgram program(PortPath());
        const std::string data = Pattern(8 << 20, modes.size());
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(program.Write(data, 120s));
        const auto took = std::chrono::steady_clock::now() - start;
        for (auto& server : servers) {
            if (server == servers.back() && modes.back() == Mode::Stalled) { // last: the others have everything by now
                EXPECT_GE(server->Accepted(), 2) << "the stalled client was never cut";
                // Cut at once, not by the kernel's user timeout of 8 s meanwhile holding up the others.
                EXPECT_LT(took, 4s) << std::chrono::duration<double>(took).count() << " s";
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
        // Back the other way, while the program does not read yet and everything on the way fills up.
        std::thread sender([&] {
            for (std::size_t round = 0; round < 20 * servers.size(); ++round) {
                const auto i = round % servers.size();
                servers[i]->SendToAll(std::string(64 * 1024, static_cast<char>('a' + i)));
            }
        });
        std::this_thread::sleep_for(500ms);
        const std::string in = program.Read(servers.size() * 20 * 64 * 1024, 60s);
        sender.join();
        for (std::size_t i = 0; i < servers.size(); ++i) {
            EXPECT_EQ(std::ranges::count(in, static_cast<char>('a' + i)), 20 * 64 * 1024) << "client " << i;
        }
    }
}
