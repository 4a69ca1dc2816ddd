// kavrel-devsim's sockets, inside a private network namespace of this test process (loopback only).

#include "tools/devsim/simulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace devsim;

namespace {

constexpr std::uint16_t kTiPort = 2023;
constexpr std::uint16_t kLantronixPort = 32718;

sockaddr_in Address(const char* ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root for a private network namespace";
        // The whole test process moves into a namespace of its own: nothing reaches a real network.
        ASSERT_EQ(::unshare(CLONE_NEWNET), 0) << std::strerror(errno);
        ASSERT_EQ(std::system("ip link set lo up"), 0);
        char pattern[] = "/tmp/kavrel-devsim-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;

        Options options;
        for (const char* line : {"ip=127.0.0.2 mac=00-00-00-00-00-02 port=4001 protocol=both",
                                 "ip=127.0.0.3 mac=00-00-00-00-00-03 port=4001 protocol=lantronix delay=200 twice",
                                 "ip=127.0.0.4 port=4001 protocol=ti tcp=refuse"}) {
            std::string error;
            options.devices.push_back(*ParseDevice(line, error));
        }
        options.tiPort = kTiPort;
        options.lantronixPort = kLantronixPort;
        options.logPath = (m_dir / "log").string();
        options.controlPath = (m_dir / "control").string();
        m_simulator = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(m_simulator->Start(error)) << error;
        m_thread = std::thread([this] { m_exit = m_simulator->Run(); });
    }
    void TearDown() override {
        if (m_thread.joinable()) {
            EXPECT_EQ(Control("quit"), "ok");
            m_thread.join();
            EXPECT_EQ(m_exit, 0);
        }
        m_simulator.reset();
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir);
    }

    std::string Control(const std::string& command) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, (m_dir / "control").c_str());
        std::string answer;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const std::string line = command + "\n";
            (void)::send(fd, line.data(), line.size(), 0);
            char c;
            while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
                answer.push_back(c);
        }
        ::close(fd);
        return answer;
    }

    // Sends a request from 127.0.0.1:port+1 and collects (sender, size) of what comes back: until `expected`
    // datagrams came (at most 10 s), then 300 ms more for any extra.
    std::vector<std::pair<std::string, std::size_t>> Ask(const char* to, std::uint16_t port,
                                                         std::vector<std::uint8_t> request, std::size_t expected) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        sockaddr_in local = Address("127.0.0.1", static_cast<std::uint16_t>(port + 1));
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        sockaddr_in target = Address(to, port);
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
        std::vector<std::pair<std::string, std::size_t>> got;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool settling = false;
        while (std::chrono::steady_clock::now() < end) {
            if (!settling && got.size() >= expected) {
                settling = true;
                end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buffer[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            got.emplace_back(std::string(text) + ":" + std::to_string(ntohs(from.sin_port)), n);
        }
        ::close(fd);
        return got;
    }

    static int Connect(const char* ip) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = Address(ip, 4001);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    std::filesystem::path m_dir;
    std::unique_ptr<Simulator> m_simulator;
    std::thread m_thread;
    int m_exit = -1;
};

} // namespace

TEST_F(SimulatorTest, EachDeviceAnswersFromItsOwnAddressAndPort) {
    // Broadcast, in the documented all-zero form: both Lantronix devices answer, one of them late and twice.
    const auto start = std::chrono::steady_clock::now();
    auto got = Ask("127.255.255.255", kLantronixPort, {0x00, 0x00, 0x00, 0xF6}, 3);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::size_t>>{
                       {"127.0.0.2:32718", 30}, {"127.0.0.3:32718", 30}, {"127.0.0.3:32718", 30}}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));

    // Sent to one device's address: only that one answers.
    EXPECT_EQ(Ask("127.0.0.2", kTiPort, {0xFF, 0x04, 0x02, 0xFB}, 1),
              (std::vector<std::pair<std::string, std::size_t>>{{"127.0.0.2:2023", 84}}));
    EXPECT_TRUE(Ask("127.0.0.3", kTiPort, {0xFF, 0x04, 0x02, 0xFB}, 0).empty()); // not a TI device
    EXPECT_TRUE(Ask("127.0.0.2", kTiPort, {0xFF, 0x04, 0x02}, 0).empty());

    std::ifstream log(m_dir / "log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "request lantronix 000000f6 from 127.0.0.1:32719 to 127.255.255.255:32718");
    EXPECT_EQ(lines[1], "request ti ff0402fb from 127.0.0.1:2024 to 127.0.0.2:2023");
}

TEST_F(SimulatorTest, TcpServiceEchoesAndObeysDropRefuseRestore) {
    EXPECT_EQ(Connect("127.0.0.4"), -1); // started refusing
    const int fd = Connect("127.0.0.2");
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, "hello", 5, 0), 5);
    char buffer[16] = {};
    std::size_t got = 0;
    while (got < 5) {
        const ssize_t n = ::recv(fd, buffer + got, sizeof buffer - got, 0);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(std::string(buffer, 5), "hello");

    EXPECT_EQ(Control("refuse 00-00-00-00-00-02"), "ok");
    EXPECT_EQ(Connect("127.0.0.2"), -1);
    EXPECT_EQ(Control("drop 127.0.0.2"), "ok");
    EXPECT_EQ(::recv(fd, buffer, sizeof buffer, 0), 0); // closed by the device
    ::close(fd);
    EXPECT_EQ(Control("restore 127.0.0.2"), "ok");
    const int again = Connect("127.0.0.2");
    EXPECT_GE(again, 0);
    ::close(again);
    EXPECT_EQ(Control("restore 127.0.0.4"), "ok");
    const int restored = Connect("127.0.0.4");
    EXPECT_GE(restored, 0);
    ::close(restored);

    EXPECT_EQ(Control("drop 198.18.9.9"), "error no device '198.18.9.9'");
    EXPECT_EQ(Control("reboot all"), "error unknown command 'reboot'");
}
