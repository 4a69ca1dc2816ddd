// RFC 2217 links against Telnet servers of our own and real peers on 127.0.0.1: pyserial's PortManager
// (rfc2217_peer.py) and ser2net 4, run as separate processes and ended by their pids.

#include "port_dir_test.h"
#include "test_peers.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

using namespace kavrel::test;

namespace {

struct Process {
    explicit Process(std::vector<std::string> argv) {
        std::vector<char*> args;
        std::ranges::transform(argv, std::back_inserter(args), [](std::string& arg) { return arg.data(); });
        args.push_back(nullptr);
        posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ);
    }
    ~Process() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool SetSpeed(const std::string& path, speed_t speed) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    bool ok = tcgetattr(fd, &tio) == 0 && cfsetspeed(&tio, speed) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    ::close(fd);
    return ok;
}

std::string Baud(std::uint32_t baud) {
    return std::string("\xff\xfa\x2c\x01", 4) + static_cast<char>(baud >> 24) + static_cast<char>(baud >> 16) +
           static_cast<char>(baud >> 8) + static_cast<char>(baud) + "\xff\xf0";
}

using Rfc2217Test = PortDirTest;

} // namespace

TEST_F(Rfc2217Test, PyserialServerGetsTheSettingsAtConnectOnChangeAndFirstAfterARestart) {
    if (system("/usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-serial is not installed (tools/setup installs it)";
    }
    const std::string script = std::string(KAVREL_SOURCE_DIR) + "/tests/unit/engine/rfc2217_peer.py";
    const std::string log = dir_ + "/peer.log";
    auto server = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/python3", script, log});
    std::uint16_t port = 0;
    ASSERT_TRUE(WaitUntil([&] { return std::sscanf(ReadFile(log).c_str(), "PORT %hu", &port) == 1; }));
    MakeLink("9600,2,7,2,0,-1");
    RunClient(port, ";rfc2217");
    auto logged = [&](const char* line) {
        return WaitUntil([&] { return ReadFile(log).find(line) != std::string::npos; });
    };
    EXPECT_TRUE(logged("SET 9600 7 E 2 0 0\n")) << ReadFile(log);
    // The program's speed; data size and parity stay what the link says, the pty cannot carry them.
    ASSERT_TRUE(SetSpeed(PortPath(), B19200));
    EXPECT_TRUE(logged("SET 19200 7 E 2 0 0\n")) << ReadFile(log);

    SerialProgram program(PortPath());
    const std::string every = Pattern(1024, 0); // every byte value, 0xFF too
    EXPECT_EQ(program.Exchange(every), every);

    // The server restarts while the program keeps writing: the settings come first on the new connection.
    server.reset();
    server = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/python3", script, log, std::to_string(port)});
    auto second = [&] {
        std::string text = ReadFile(log);
        auto at = text.find("CONNECT", text.find("CONNECT") + 1);
        return at == std::string::npos ? std::string() : text.substr(at);
    };
    for (int i = 0; i < 20000 && second().find("DATA") == std::string::npos; ++i) {
        program.Write(std::string(64, 'x'), 1s);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_LT(second().find("SET 19200 7 E 2 0 0\n"), second().find("DATA")) << second();
}

TEST_F(Rfc2217Test, Ser2netSetsTheBaudRateTheLinkAsksOnItsDevice) {
    if (access("/usr/sbin/ser2net", X_OK) != 0) {
        GTEST_SKIP() << "ser2net is not installed (tools/setup installs it)";
    }
    // The device behind ser2net: a pty whose slave ser2net opens; its settings read back from our end.
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string device = ptsname(master);
    int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    auto speed = [&] {
        termios tio{};
        return tcgetattr(slave, &tio) == 0 ? cfgetospeed(&tio) : B0;
    };
    const std::uint16_t port = DeviceServer(DeviceServer::Mode::Record).Port(); // free, for ser2net
    const std::string config = dir_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &link\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                          << "\n  connector: serialdev," << device << ",9600n81,local\n  options:\n    mdns: false\n";
    Process ser2net({"/usr/sbin/ser2net", "-n", "-u", "-c", config, "-P", dir_ + "/ser2net.pid"});

    MakeLink("38400,0,8,1,0,-1");
    RunClient(port, ";rfc2217");
    EXPECT_TRUE(WaitUntil([&] { return speed() == B38400; })) << "ser2net's device runs at " << speed();
    ASSERT_TRUE(SetSpeed(PortPath(), B57600));
    EXPECT_TRUE(WaitUntil([&] { return speed() == B57600; })) << "ser2net's device runs at " << speed();
    ::close(slave);
    ::close(master);
}

TEST_F(Rfc2217Test, EveryClientGetsTheSettingsUnlessItRefusesAndUnreadableStreamsReconnect) {
    DeviceServer refusing(DeviceServer::Mode::Record), accepting(DeviceServer::Mode::Record);
    MakeLink("9600,0,8,1,0,-1");
    const int32_t no = AddClient(refusing.Port(), ";rfc2217"), yes = AddClient(accepting.Port(), ";rfc2217");
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return refusing.OpenConnections() == 1 && accepting.OpenConnections() == 1; }));
    EXPECT_FALSE(Ready(no)) << "not ready while the COM-PORT-OPTION offer is unanswered";
    refusing.SendToAll("\xff\xfe\x2c");  // DONT COM-PORT-OPTION
    accepting.SendToAll("\xff\xfd\x2c"); // DO COM-PORT-OPTION
    ASSERT_TRUE(WaitUntil([&] { return Ready(no) && Ready(yes); }));
    auto got = [](DeviceServer& server, const std::string& bytes) {
        return WaitUntil([&] { return server.Received().find(bytes) != std::string::npos; });
    };
    EXPECT_TRUE(got(accepting, Baud(9600)));
    ASSERT_TRUE(SetSpeed(PortPath(), B19200));
    EXPECT_TRUE(got(accepting, Baud(19200)));
    EXPECT_EQ(refusing.Received(), std::string("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x2c", 9)) << "no settings";

    // Plain Telnet data to the refusing server, 0xFF doubled both ways.
    SerialProgram program(PortPath());
    ASSERT_TRUE(program.Write("x\xffy"));
    EXPECT_TRUE(got(refusing, "x\xff\xffy"));
    refusing.SendToAll("\xff\xffz");
    EXPECT_EQ(program.Read(2), "\xffz");

    // Not Telnet at all, then a subnegotiation that never ends: each connection is cut and made again.
    refusing.SendToAll("\xffZ");
    EXPECT_TRUE(WaitUntil([&] { return refusing.Accepted() == 2 && refusing.OpenConnections() == 1; }));
    refusing.SendToAll("\xff\xfa\x2c" + std::string(64 * 1024, 'z'));
    EXPECT_TRUE(WaitUntil([&] { return refusing.Accepted() == 3; }));

    // A new run starts from the Splitter's settings and what the program set on the port meanwhile.
    ASSERT_TRUE(vspe_stopEmulation());
    ASSERT_TRUE(SetSpeed(PortPath(), B38400));
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return accepting.Accepted() == 2 && accepting.OpenConnections() == 1; }));
    accepting.SendToAll("\xff\xfd\x2c");
    EXPECT_TRUE(got(accepting, Baud(38400)));
}
