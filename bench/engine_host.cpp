// The engine alone in a small process, so that a benchmark can pin it to a core and read its CPU time as it
// would socat's: a Connector and Splitter for COM<n> (and the next LINKS - 1 numbers), each with CLIENTS
// TcpClients towards one TCP server.
//   engine_host PORT_DIR COM_NUMBER HOST TCP_PORT [CLIENTS] [LINKS]
// Prints "ready" once every TcpClient is connected, then runs until SIGTERM, SIGINT or end of standard input.

#include "engine/vspe_api.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t stopping = 0;

void OnSignal(int) {
    stopping = 1;
}

int Fail(const char* what) {
    std::fprintf(stderr, "engine_host: %s\n", what);
    vspe_release();
    return 1;
}

bool AllReady(const std::vector<int32_t>& clients) {
    for (int32_t id : clients) {
        int32_t a = 0, b = 0, c = 0, ready = 0;
        vspe_getDeviceInfo(id, &a, &b, &c, &ready);
        if (!ready) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: engine_host PORT_DIR COM_NUMBER HOST TCP_PORT [CLIENTS] [LINKS]\n");
        return 2;
    }
    setenv("KAVREL_PORT_DIR", argv[1], 1);
    const int firstCom = std::atoi(argv[2]);
    const int count = argc > 5 ? std::atoi(argv[5]) : 1;
    const int links = argc > 6 ? std::atoi(argv[6]) : 1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    if (!vspe_initialize()) {
        return Fail("not initialised");
    }
    std::vector<int32_t> clients;
    for (int link = 0; link < links; ++link) {
        const std::string com = std::to_string(firstCom + link), number = std::to_string(100 + link);
        if (vspe_createDevice("Connector", (com + ";1").c_str()) < 0 ||
            vspe_createDevice("Splitter", (number + ";" + com + ";0;2400,0,8,1,2,-1;0;0;0").c_str()) < 0) {
            return Fail("no Connector or Splitter");
        }
        const std::string init = std::string(argv[3]) + ";" + argv[4] + ";" + number + ";2400,0,8,1,2,-1;0;10;;0;0";
        for (int i = 0; i < count; ++i) {
            int32_t id = vspe_createDevice("TcpClient", init.c_str());
            if (id < 0) {
                return Fail("no TcpClient");
            }
            clients.push_back(id);
        }
    }
    if (!vspe_startEmulation()) {
        return Fail("emulation not started");
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!AllReady(clients)) {
        if (stopping || std::chrono::steady_clock::now() > until) {
            return Fail("TcpClients not connected");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    // Standard input closing ends the host as a signal does, so a killed parent leaves no engine behind.
    while (!stopping) {
        pollfd in{0, POLLIN, 0};
        if (::poll(&in, 1, -1) > 0) { // a signal interrupts it
            char byte;
            if (::read(0, &byte, 1) <= 0) {
                break;
            }
        }
    }
    vspe_stopEmulation();
    vspe_release();
    return 0;
}
