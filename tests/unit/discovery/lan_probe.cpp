// The program's discovery, natively, for the simulated LAN: sends each search from every address in
// KAVREL_HOST_ADDRESSES, receives on ports 23 and 30718 and feeds every datagram through DeviceDiscovery
// into in-memory rows, then prints the rows, one tab-separated line each (UTF-8):
//   row COM-PORT IP TCP-PORT MAC NAME STATUS
// and a last line "elapsed_ms N": from the first request sent to the last row added.
//
//   discovery_lan_probe [--searches N] [--expect-rows N] [--settle-ms N] [--timeout-ms N] [--rcvbuf BYTES]
//                     [--stall-ms N]
//
// --rcvbuf: the sockets' receive buffer (default 8 MiB; 0 keeps the system's default), to see what a
// burst of replies needs; --stall-ms: wait that long after sending before reading, as a busy UI thread
// would.
//
// Each search waits for at least --expect-rows rows, then until no datagram came for --settle-ms.

#include "discovery/device_discovery.h"
#include "discovery/search_requests.h"
#include "fake_device_rows.h"
#include "ui/free_ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Socket {
    int fd = -1;
    kavrel::DiscoveryProtocol protocol;
    Socket(int f, kavrel::DiscoveryProtocol p) : fd(f), protocol(p) {}
    Socket(Socket&& o) noexcept : fd(o.fd), protocol(o.protocol) { o.fd = -1; }
    Socket(const Socket&) = delete;
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
};

int g_receiveBuffer = 8 << 20;

int Bind(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    // A burst of a thousand replies must not overflow the receive buffer.
    if (g_receiveBuffer > 0 &&
        setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &g_receiveBuffer, sizeof g_receiveBuffer) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &g_receiveBuffer, sizeof g_receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a)) {
        std::fprintf(stderr, "probe: cannot bind %s:%u: %s\n", address.c_str(), port, std::strerror(errno));
        std::exit(1);
    }
    return fd;
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | u >> 6));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | u >> 12));
            out.push_back(static_cast<char>(0x80 | (u >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    int searches = 1, expectRows = 0, settleMs = 300, timeoutMs = 30000, stallMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--searches")
            searches = value;
        else if (arg == "--expect-rows")
            expectRows = value;
        else if (arg == "--settle-ms")
            settleMs = value;
        else if (arg == "--timeout-ms")
            timeoutMs = value;
        else if (arg == "--stall-ms")
            stallMs = value;
        else if (arg == "--rcvbuf")
            g_receiveBuffer = value;
    }
    const char* hosts = std::getenv("KAVREL_HOST_ADDRESSES");
    if (!hosts) {
        std::fprintf(stderr, "probe: KAVREL_HOST_ADDRESSES not set (run under tools/lan)\n");
        return 2;
    }
    std::vector<std::string> addresses;
    std::istringstream words(hosts);
    for (std::string word; words >> word;)
        addresses.push_back(word);

    // Index i of each array belongs to address i, as the program's socket arrays do.
    std::vector<Socket> ti, lantronix;
    for (const auto& address : addresses) {
        ti.emplace_back(Bind(address, kavrel::kTiPort), kavrel::DiscoveryProtocol::Ti);
        lantronix.emplace_back(Bind(address, kavrel::kLantronixPort), kavrel::DiscoveryProtocol::Lantronix);
    }
    std::vector<pollfd> fds;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        fds.push_back({ti[i].fd, POLLIN, 0});
        fds.push_back({lantronix[i].fd, POLLIN, 0});
    }

    kavrel::testing::FakeDeviceRows rows;
    kavrel::DeviceDiscovery discovery(rows, kavrel::FreePortNames([](const std::wstring&) { return false; }),
                                      kavrel::testing::Latin1Decode);
    const auto start = Clock::now();
    auto lastRow = start;
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    for (int search = 0; search < searches; ++search) {
        for (const auto& d : kavrel::SearchRequests(addresses.size())) {
            const Socket& s =
                d.socket == kavrel::DiscoveryProtocol::Ti ? ti[d.addressIndex] : lantronix[d.addressIndex];
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(d.destinationPort);
            std::memcpy(&to.sin_addr, d.destination.data(), 4);
            if (::sendto(s.fd, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
                std::fprintf(stderr, "probe: send failed: %s\n", std::strerror(errno));
        }
        if (stallMs > 0)
            ::usleep(static_cast<useconds_t>(stallMs) * 1000);
        auto lastDatagram = Clock::now();
        for (;;) {
            const auto now = Clock::now();
            if (now >= deadline)
                break;
            if (rows.RowCount() >= expectRows && now - lastDatagram >= std::chrono::milliseconds(settleMs))
                break;
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                // Zeroed, one byte more than the program's buffer so that a longer datagram shows.
                std::uint8_t buffer[kavrel::kMaxReplySize + 1] = {};
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const ssize_t n = ::recvfrom(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC,
                                             reinterpret_cast<sockaddr*>(&from), &length);
                if (n < 0)
                    continue;
                lastDatagram = Clock::now();
                if (static_cast<std::size_t>(n) > kavrel::kMaxReplySize)
                    continue; // truncated
                kavrel::Ipv4Octets sender;
                std::memcpy(sender.data(), &from.sin_addr, 4);
                const std::span<const std::uint8_t> datagram(buffer, static_cast<std::size_t>(n));
                const int before = rows.RowCount();
                if (i % 2 == 0)
                    discovery.OnTiReply(datagram, sender);
                else
                    discovery.OnLantronixReply(datagram, sender);
                if (rows.RowCount() != before)
                    lastRow = Clock::now();
            }
        }
    }
    for (int r = 0; r < rows.RowCount(); ++r) {
        std::string line = "row";
        for (int c = kavrel::kColumnComPort; c < kavrel::kDeviceColumnCount; ++c)
            line += "\t" + Utf8(rows.CellText(r, c));
        std::puts(line.c_str());
    }
    std::printf("elapsed_ms %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(lastRow - start).count()));
    return 0;
}
