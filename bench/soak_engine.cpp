// The engine's soak: N port links, each a Connector, a Splitter and a TcpClient to its own device server on
// 127.0.0.1, carrying a counter pattern both ways at a set rate for a set time. Every byte is checked at
// both ends; the process's memory (the engine's, beside fixed-size buffers) is sampled all along.
//
//   kavrel-soak-engine [--links 16] [--seconds 1800] [--rate KIB_PER_S] [--port-dir DIR]
//
// Exits 0 when every byte arrived in order, no link stayed down and memory stopped growing after warm-up.

#include "engine/vspe_api.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::uint8_t CounterByte(std::uint64_t at) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(at >> 2) >> (8 * (at & 3)));
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// One direction of one link: what was written and what was read and checked.
struct Stream {
    std::uint64_t sent = 0, received = 0;
    std::int64_t firstBad = -1;

    void Write(int fd, std::uint64_t allowed) {
        std::uint8_t buffer[4096];
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, allowed - sent));
        if (n == 0)
            return;
        for (std::size_t i = 0; i < n; ++i)
            buffer[i] = CounterByte(sent + i);
        const ssize_t written = ::write(fd, buffer, n);
        if (written > 0)
            sent += static_cast<std::uint64_t>(written);
    }
    void Read(int fd) {
        std::uint8_t buffer[16384];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            if (firstBad < 0 && buffer[i] != CounterByte(received + static_cast<std::uint64_t>(i)))
                firstBad = static_cast<std::int64_t>(received) + i;
        }
        if (n > 0)
            received += static_cast<std::uint64_t>(n);
    }
};

struct Link {
    int listener = -1, device = -1, program = -1;
    std::uint16_t port = 0;
    std::int32_t client = -1;
    Stream toDevice, toProgram; // written by the program and by the device, respectively
};

int Listen(std::uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

bool Ready(std::int32_t id) {
    std::int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

} // namespace

int main(int argc, char** argv) {
    int links = 16;
    long seconds = 1800;
    long rateKiB = 256;
    std::string portDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--links")
            links = std::atoi(argv[i + 1]);
        else if (option == "--seconds")
            seconds = std::atol(argv[i + 1]);
        else if (option == "--rate")
            rateKiB = std::atol(argv[i + 1]);
        else if (option == "--port-dir")
            portDir = argv[i + 1];
        else {
            std::fprintf(stderr,
                         "usage: kavrel-soak-engine [--links N] [--seconds S] [--rate KIB_PER_S] [--port-dir DIR]\n");
            return 2;
        }
    }
    if (links < 1 || links > 99 || seconds < 1 || rateKiB < 1)
        return 2;
    if (portDir.empty()) {
        char tmpl[] = "/tmp/kavrel-soak.XXXXXX";
        if (!mkdtemp(tmpl))
            return 1;
        portDir = tmpl;
    }
    setenv("KAVREL_PORT_DIR", portDir.c_str(), 1);

    if (!vspe_initialize())
        return 1;
    std::vector<Link> all(static_cast<std::size_t>(links));
    for (int i = 0; i < links; ++i) {
        Link& link = all[static_cast<std::size_t>(i)];
        const std::string com = std::to_string(i + 1), number = std::to_string(100 + i);
        link.listener = Listen(link.port);
        const std::string client =
            "127.0.0.1;" + std::to_string(link.port) + ";" + number + ";2400,0,8,1,2,-1;0;10;;0;0";
        if (link.listener < 0 || vspe_createDevice("Connector", (com + ";1").c_str()) <= 0 ||
            vspe_createDevice("Splitter", (number + ";" + com + ";0;2400,0,8,1,2,-1;0;0;0").c_str()) <= 0 ||
            (link.client = vspe_createDevice("TcpClient", client.c_str())) <= 0) {
            std::fprintf(stderr, "soak: link %d could not be made\n", i + 1);
            return 1;
        }
    }
    if (!vspe_startEmulation())
        return 1;
    for (Link& link : all) {
        link.device = ::accept4(link.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        link.program = ::open((portDir + "/COM" + std::to_string(&link - all.data() + 1)).c_str(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (link.device < 0 || link.program < 0) {
            std::fprintf(stderr, "soak: link %td did not come up\n", &link - all.data() + 1);
            return 1;
        }
    }

    const auto start = Clock::now();
    const auto stopSending = start + std::chrono::seconds(seconds);
    const auto warmedUp = start + std::chrono::seconds(std::min<long>(60, std::max<long>(5, seconds / 4)));
    long rssWarm = -1, rssPeak = 0, rssLast = 0;
    auto nextSample = start;
    int notReady = 0;
    std::vector<pollfd> fds(all.size() * 2);
    for (;;) {
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(std::min(now, stopSending) - start).count();
        const auto allowed = static_cast<std::uint64_t>(elapsed * static_cast<double>(rateKiB) * 1024.0);
        bool done = now >= stopSending;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Link& link = all[i];
            fds[2 * i] = {link.program, POLLIN, 0};
            fds[2 * i + 1] = {link.device, POLLIN, 0};
            if (link.toDevice.sent < allowed)
                fds[2 * i].events |= POLLOUT;
            if (link.toProgram.sent < allowed)
                fds[2 * i + 1].events |= POLLOUT;
            done =
                done && link.toDevice.received == link.toDevice.sent && link.toProgram.received == link.toProgram.sent;
        }
        if (done || now > stopSending + std::chrono::seconds(std::max<long>(60, seconds)))
            break;
        ::poll(fds.data(), fds.size(), 10);
        for (std::size_t i = 0; i < all.size(); ++i) {
            Link& link = all[i];
            if (fds[2 * i].revents & POLLIN)
                link.toProgram.Read(link.program);
            if (fds[2 * i + 1].revents & POLLIN)
                link.toDevice.Read(link.device);
            if (fds[2 * i].revents & POLLOUT)
                link.toDevice.Write(link.program, allowed);
            if (fds[2 * i + 1].revents & POLLOUT)
                link.toProgram.Write(link.device, allowed);
        }
        if (now >= nextSample) {
            nextSample = now + std::chrono::seconds(10);
            rssLast = RssKiB();
            rssPeak = std::max(rssPeak, rssLast);
            if (rssWarm < 0 && now >= warmedUp)
                rssWarm = rssLast;
            if (now >= warmedUp) { // the status lags the first connect by a moment
                for (const Link& link : all)
                    notReady += Ready(link.client) ? 0 : 1;
            }
            std::uint64_t total = 0;
            for (const Link& link : all)
                total += link.toDevice.received + link.toProgram.received;
            std::printf("%6.0f s  %8.1f MiB checked  rss %ld KiB\n", std::chrono::duration<double>(now - start).count(),
                        static_cast<double>(total) / 1048576.0, rssLast);
            std::fflush(stdout);
        }
    }

    bool ok = true;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Link& link = all[i];
        total += link.toDevice.received + link.toProgram.received;
        for (const Stream* s : {&link.toDevice, &link.toProgram}) {
            if (s->received != s->sent || s->firstBad >= 0) {
                std::printf("link %zu: %s sent %llu received %llu first bad byte at %lld\n", i + 1,
                            s == &link.toDevice ? "to the device" : "to the program",
                            static_cast<unsigned long long>(s->sent), static_cast<unsigned long long>(s->received),
                            static_cast<long long>(s->firstBad));
                ok = false;
            }
        }
    }
    // After warm-up the engine holds fixed buffers per link; steady growth beyond a few MiB is a leak.
    const long growth = rssWarm < 0 ? 0 : rssLast - rssWarm;
    std::printf("%d links, %ld s, %.1f MiB checked, rss after warm-up %ld KiB, at the end %ld KiB, peak %ld KiB, "
                "links not ready at a sample %d: %s\n",
                links, seconds, static_cast<double>(total) / 1048576.0, rssWarm, rssLast, rssPeak, notReady,
                ok && growth < 16 * 1024 && notReady == 0 ? "PASS" : "FAIL");
    for (Link& link : all) {
        ::close(link.program);
        ::close(link.device);
        ::close(link.listener);
    }
    vspe_release();
    return ok && growth < 16 * 1024 && notReady == 0 ? 0 : 1;
}
