// RFC 2217 links against real peers on 127.0.0.1: pyserial's PortManager (tests/unit/engine/rfc2217_peer.py)
// and ser2net 4, both run as separate processes and ended by their pids.

#include "engine/vspe_api.h"
#include "port_dir_test.h"
#include "test_peers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kavrel::test;

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kSer2net = "/usr/sbin/ser2net";

class Process {
public:
    explicit Process(std::vector<std::string> argv) {
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> args;
            for (auto& a : argv) {
                args.push_back(a.data());
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Ready(int32_t id) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

// What a serial program does to change the speed of its port.
bool SetSpeed(const std::string& path, speed_t speed) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    bool ok = fd >= 0 && tcgetattr(fd, &tio) == 0 && cfsetspeed(&tio, speed) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

class Rfc2217Test : public PortDirTest {
protected:
    std::string PortPath() const { return dir_ + "/COM7"; }

    // COM7 with line settings splitter, one RFC 2217 TcpClient to port, running and (unless told) negotiated.
    void RunLink(const std::string& splitter, std::uint16_t port, bool waitReady = true) {
        ASSERT_TRUE(vspe_initialize());
        ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
        ASSERT_GT(vspe_createDevice("Splitter", splitter.c_str()), 0);
        client_ = vspe_createDevice(
            "TcpClient", ("127.0.0.1;" + std::to_string(port) + ";100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217").c_str());
        ASSERT_GT(client_, 0);
        ASSERT_TRUE(vspe_startEmulation());
        ASSERT_TRUE(!waitReady || WaitUntil([&] { return Ready(client_); }));
    }

    int32_t client_ = -1;
};

std::string AllBytes() {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    return all;
}

} // namespace

TEST_F(Rfc2217Test, PyserialServerGetsTheSettingsAtConnectOnChangeAndFirstAfterARestart) {
    if (system("/usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-serial is not installed (tools/setup installs it)";
    }
    const std::string script = std::string(KAVREL_SOURCE_DIR) + "/tests/unit/engine/rfc2217_peer.py";
    const std::string log = dir_ + "/peer.log";
    auto server = std::make_unique<Process>(std::vector<std::string>{kPython, script, log});
    std::uint16_t port = 0;
    ASSERT_TRUE(WaitUntil([&] { return std::sscanf(ReadFile(log).c_str(), "PORT %hu", &port) == 1; }));
    ASSERT_NO_FATAL_FAILURE(RunLink("100;7;0;9600,2,7,2,0,-1;0;0;0", port));

    // The link's settings at connect: 9600, 7 data bits, even parity, two stop bits, no flow control.
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(log).find("SET 9600 7 E 2 0 0\n") != std::string::npos; }))
        << ReadFile(log);
    // The program's speed; data size and parity stay what the link says, the pty cannot carry them.
    ASSERT_TRUE(SetSpeed(PortPath(), B19200));
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(log).find("SET 19200 7 E 2 0 0\n") != std::string::npos; }))
        << ReadFile(log);

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.IsOpen());
    const std::string all = AllBytes();
    std::thread writer([&] { EXPECT_TRUE(program.Write(all)); });
    EXPECT_EQ(program.Read(all.size()), all) << "0xFF and every other byte back as sent";
    writer.join();

    // The server restarts while the program keeps writing: the settings come first on the new connection.
    server.reset();
    server = std::make_unique<Process>(std::vector<std::string>{kPython, script, log, std::to_string(port)});
    std::atomic<bool> writing{true};
    std::thread ticker([&] {
        while (writing) {
            program.Write(std::string(64, 'x'), 1s);
            std::this_thread::sleep_for(1ms);
        }
    });
    auto second = [&] {
        std::string text = ReadFile(log);
        auto at = text.find("CONNECT", text.find("CONNECT") + 1);
        return at == std::string::npos ? std::string() : text.substr(at);
    };
    EXPECT_TRUE(WaitUntil([&] { return second().find("DATA") != std::string::npos; })) << ReadFile(log);
    writing = false;
    ticker.join();
    std::string after = second();
    EXPECT_LT(after.find("SET 19200 7 E 2 0 0\n"), after.find("DATA")) << after;
}

TEST_F(Rfc2217Test, Ser2netSetsTheBaudRateTheLinkAsksOnItsDevice) {
    if (access(kSer2net, X_OK) != 0) {
        GTEST_SKIP() << "ser2net is not installed (tools/setup installs it)";
    }
    // The device behind ser2net: a pty whose slave ser2net opens; its settings read back from our end.
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string device = ptsname(master);
    int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    auto speed = [&] {
        termios tio{};
        return tcgetattr(slave, &tio) == 0 ? cfgetospeed(&tio) : B0;
    };

    // A free port on 127.0.0.1, taken by ser2net a moment later.
    std::uint16_t port = 0;
    {
        asio::io_context io;
        asio::ip::tcp::acceptor probe(io, {asio::ip::address_v4::loopback(), 0});
        port = probe.local_endpoint().port();
    }
    const std::string config = dir_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &link\n"
                          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
                          << "  connector: serialdev," << device << ",9600n81,local\n"
                          << "  options:\n    mdns: false\n";
    Process ser2net({kSer2net, "-n", "-u", "-c", config, "-P", dir_ + "/ser2net.pid"});

    ASSERT_NO_FATAL_FAILURE(RunLink("100;7;0;38400,0,8,1,0,-1;0;0;0", port));
    EXPECT_TRUE(WaitUntil([&] { return speed() == B38400; })) << "ser2net's device runs at " << speed();
    ASSERT_TRUE(SetSpeed(PortPath(), B57600));
    EXPECT_TRUE(WaitUntil([&] { return speed() == B57600; })) << "ser2net's device runs at " << speed();
    ::close(slave);
    ::close(master);
}

TEST_F(Rfc2217Test, RefusedComPortCarriesEscapedTelnetAndAnUnreadableStreamReconnects) {
    DeviceServer server(DeviceServer::Mode::Record);
    ASSERT_NO_FATAL_FAILURE(RunLink("100;7;0;9600,0,8,1,0,-1;0;0;0", server.Port(), false));
    ASSERT_TRUE(WaitUntil([&] { return server.OpenConnections() == 1; }));
    EXPECT_FALSE(Ready(client_)) << "not ready while the COM-PORT-OPTION offer is unanswered";
    server.SendToAll("\xff\xfe\x2c"); // DONT COM-PORT-OPTION
    ASSERT_TRUE(WaitUntil([&] { return Ready(client_); }));
    EXPECT_EQ(server.Received(), std::string("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x2c", 9))
        << "no settings to a refusing server";

    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("a\xff"
                              "b"));
    EXPECT_TRUE(WaitUntil([&] {
        return server.Received().ends_with("a\xff\xff"
                                           "b");
    }));
    server.SendToAll("\xff\xff"
                     "z");
    EXPECT_EQ(program.Read(2), "\xff"
                               "z");

    // Not Telnet at all, then a subnegotiation that never ends: each connection is cut and made again.
    server.SendToAll("\xff"
                     "A");
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return server.OpenConnections() == 1; }));
    server.SendToAll("\xff\xfa\x2c" + std::string(64 * 1024, 'z'));
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 3; }));
}

TEST_F(Rfc2217Test, EveryClientOfTheSplitterGetsTheSettingsAlsoAfterARestartOfTheEmulation) {
    DeviceServer first(DeviceServer::Mode::Record), second(DeviceServer::Mode::Record);
    ASSERT_NO_FATAL_FAILURE(RunLink("100;7;0;9600,0,8,1,0,-1;0;0;0", first.Port(), false));
    ASSERT_TRUE(vspe_stopEmulation());
    int32_t other = vspe_createDevice(
        "TcpClient", ("127.0.0.1;" + std::to_string(second.Port()) + ";100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217").c_str());
    ASSERT_GT(other, 0);
    ASSERT_TRUE(vspe_startEmulation());
    auto accept = [&](DeviceServer& server) {
        ASSERT_TRUE(WaitUntil([&] { return server.OpenConnections() == 1; }));
        server.SendToAll("\xff\xfd\x2c"); // DO COM-PORT-OPTION
    };
    accept(first);
    accept(second);
    const std::string baud9600("\xff\xfa\x2c\x01\x00\x00\x25\x80\xff\xf0", 10);
    const std::string baud19200("\xff\xfa\x2c\x01\x00\x00\x4b\x00\xff\xf0", 10);
    for (DeviceServer* server : {&first, &second}) {
        EXPECT_TRUE(WaitUntil([&] { return server->Received().find(baud9600) != std::string::npos; }));
    }
    ASSERT_TRUE(SetSpeed(PortPath(), B19200));
    for (DeviceServer* server : {&first, &second}) {
        EXPECT_TRUE(WaitUntil([&] { return server->Received().find(baud19200) != std::string::npos; }));
    }
    // A new run starts from the Splitter's settings and what the program set on the port meanwhile.
    ASSERT_TRUE(vspe_stopEmulation());
    ASSERT_TRUE(SetSpeed(PortPath(), B38400));
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return first.Accepted() == 3; })); // connections 2 and 3 of the restarts
    ASSERT_TRUE(WaitUntil([&] { return first.OpenConnections() == 1; }));
    first.SendToAll("\xff\xfd\x2c");
    const std::string baud38400("\xff\xfa\x2c\x01\x00\x00\x96\x00\xff\xf0", 10);
    EXPECT_TRUE(WaitUntil([&] { return first.Received().find(baud38400) != std::string::npos; }));
}
