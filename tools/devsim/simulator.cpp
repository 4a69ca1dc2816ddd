#include "tools/devsim/simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace devsim {

namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (auto b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text.empty() ? "-" : text;
}

std::string Endpoint(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string Endpoint(in_addr address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_addr = address;
    a.sin_port = htons(port);
    return Endpoint(a);
}

std::uint32_t NetworkAddress(const std::array<std::uint8_t, 4>& ip) {
    std::uint32_t a;
    std::memcpy(&a, ip.data(), 4);
    return a;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

Simulator::Simulator(Options options) : m_options(std::move(options)), m_random(m_options.seed) {
    for (auto& device : m_options.devices) {
        m_byAddress.emplace(NetworkAddress(device.ip), m_devices.size());
        m_devices.push_back({device, Fd(), device.tcp == TcpMode::Refuse});
    }
}

Simulator::~Simulator() {
    if (m_log && m_log != stdout)
        std::fclose(m_log);
    if (m_control)
        ::unlink(m_options.controlPath.c_str());
}

void Simulator::Log(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
    // Tests read the log while we run.
    std::fflush(m_log);
}

bool Simulator::OpenUdp(std::uint16_t port, Fd& fd, std::string& error) {
    fd.Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    // A search of a thousand devices is a burst of thousands of datagrams each way.
    const int buffer = 8 << 20;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    setsockopt(fd.Get(), SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    if (setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer) != 0)
        setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!fd || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot bind UDP port " + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Simulator::Listen(DeviceState& state, std::string& error) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(state.device.tcpPort);
    std::memcpy(&address.sin_addr, state.device.ip.data(), 4);
    if (!fd || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 64) != 0) {
        error = "cannot listen on " + Endpoint(address) + ": " + std::strerror(errno);
        return false;
    }
    state.listener = std::move(fd);
    return true;
}

bool Simulator::Start(std::string& error) {
    m_log = m_options.logPath.empty() ? stdout : std::fopen(m_options.logPath.c_str(), "a");
    if (!m_log) {
        m_log = stdout;
        error = "cannot open log " + m_options.logPath;
        return false;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    m_signals.Reset(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    ::signal(SIGPIPE, SIG_IGN);

    if (!OpenUdp(m_options.tiPort, m_udpTi, error) || !OpenUdp(m_options.lantronixPort, m_udpLantronix, error))
        return false;
    for (auto& state : m_devices)
        if (!state.refusing && !Listen(state, error))
            return false;
    if (!m_options.controlPath.empty()) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_options.controlPath.size() >= sizeof address.sun_path) {
            error = "control socket path too long";
            return false;
        }
        std::strcpy(address.sun_path, m_options.controlPath.c_str());
        ::unlink(address.sun_path);
        m_control.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (::bind(m_control.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_control.Get(), 8) != 0) {
            error = "cannot listen on " + m_options.controlPath + ": " + std::strerror(errno);
            m_control.Reset();
            return false;
        }
    }
    return true;
}

void Simulator::ReceiveDatagrams() {
    // Both ports drained together and sorted by arrival, so the log shows the order on the wire.
    std::vector<Datagram> received;
    for (bool ti : {true, false}) {
        const int fd = ti ? m_udpTi.Get() : m_udpLantronix.Get();
        for (;;) {
            std::uint8_t buffer[2048];
            alignas(cmsghdr) char control[256];
            Datagram d{};
            d.onTiPort = ti;
            iovec io{buffer, sizeof buffer};
            msghdr message{};
            message.msg_name = &d.from;
            message.msg_namelen = sizeof d.from;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT);
            if (n < 0)
                break;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    d.to = info.ipi_addr;
                } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
                    timespec ts;
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    d.receivedNs = std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
                }
            }
            d.bytes.assign(buffer, buffer + n);
            received.push_back(std::move(d));
        }
    }
    std::stable_sort(received.begin(), received.end(),
                     [](const Datagram& a, const Datagram& b) { return a.receivedNs < b.receivedNs; });
    for (const auto& d : received)
        HandleDatagram(d);
}

void Simulator::HandleDatagram(const Datagram& d) {
    const std::uint16_t port = d.onTiPort ? m_options.tiPort : m_options.lantronixPort;
    Log("request %s %s from %s to %s", d.onTiPort ? "ti" : "lantronix", Hex(d.bytes).c_str(), Endpoint(d.from).c_str(),
        Endpoint(d.to, port).c_str());
    const auto request = ClassifyRequest(d.onTiPort, d.bytes);
    if (!request)
        return;
    // Sent to one device's address: that device answers; broadcast: all of them do.
    const auto [first, last] = m_byAddress.equal_range(d.to.s_addr);
    if (first != last) {
        for (auto it = first; it != last; ++it)
            Answer(it->second, *request, d);
        return;
    }
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        Answer(i, *request, d);
}

void Simulator::Answer(std::size_t index, Request request, const Datagram& d) {
    const Device& device = m_devices[index].device;
    const auto replies = devsim::Answer(device, request);
    if (replies.empty())
        return;
    std::vector<Bytes> out;
    for (int i = 0; i < device.junk / 2; ++i)
        out.push_back(Junk(device, request, m_random));
    for (const auto& reply : replies) {
        out.push_back(reply);
        if (device.twice)
            out.push_back(reply);
    }
    for (int i = device.junk / 2; i < device.junk; ++i)
        out.push_back(Junk(device, request, m_random));
    const auto when = Clock::now() + std::chrono::milliseconds(device.delayMs);
    for (auto& bytes : out) {
        PendingSend send{d.onTiPort, d.from, device.ip, std::move(bytes)};
        if (device.delayMs == 0)
            Send(send);
        else
            m_due.emplace(when, std::move(send));
    }
}

void Simulator::Send(const PendingSend& send) {
    // From the device's own address, out of the shared socket bound to the protocol's port.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec io{const_cast<std::uint8_t*>(send.bytes.data()), send.bytes.size()};
    msghdr message{};
    sockaddr_in to = send.to;
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    std::memcpy(&info.ipi_spec_dst, send.from.data(), 4);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    if (::sendmsg(send.tiPort ? m_udpTi.Get() : m_udpLantronix.Get(), &message, 0) < 0)
        Log("error send from %s to %s: %s", IpText(send.from).c_str(), Endpoint(send.to).c_str(), std::strerror(errno));
}

void Simulator::SendDue() {
    const auto now = Clock::now();
    while (!m_due.empty() && m_due.begin()->first <= now) {
        Send(m_due.begin()->second);
        m_due.erase(m_due.begin());
    }
}

void Simulator::Accept(std::size_t device) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(m_devices[device].listener.Get(), reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    m_connectionFds.emplace(fd, Fd(fd));
    m_connections.emplace(fd, Connection{device, {}});
    const Device& d = m_devices[device].device;
    Log("tcp accept %s:%u from %s", IpText(d.ip).c_str(), d.tcpPort, Endpoint(peer).c_str());
}

void Simulator::CloseConnection(int fd, const char* why) {
    const auto it = m_connections.find(fd);
    if (it == m_connections.end())
        return;
    const Device& d = m_devices[it->second.device].device;
    Log("tcp close %s:%u %s", IpText(d.ip).c_str(), d.tcpPort, why);
    m_connections.erase(it);
    m_connectionFds.erase(fd);
}

void Simulator::ServeConnection(int fd, short events) {
    const auto it = m_connections.find(fd);
    if (it == m_connections.end())
        return;
    Connection& connection = it->second;
    if ((events & POLLIN) && connection.pending.empty()) {
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            CloseConnection(fd, n == 0 ? "by peer" : "on error");
            return;
        }
        if (n > 0)
            connection.pending.append(buffer, static_cast<std::size_t>(n));
    } else if (events & (POLLERR | POLLHUP)) {
        CloseConnection(fd, "on error");
        return;
    }
    if (!connection.pending.empty()) {
        const ssize_t n = ::send(fd, connection.pending.data(), connection.pending.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            CloseConnection(fd, "on error");
            return;
        }
        if (n > 0)
            connection.pending.erase(0, static_cast<std::size_t>(n));
    }
}

void Simulator::AcceptControl() {
    const int fd = ::accept4(m_control.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0)
        m_controlClients.emplace(fd, Fd(fd));
}

void Simulator::ServeControl(int fd) {
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            m_controlInput.erase(fd);
            m_controlClients.erase(fd);
        }
        return;
    }
    std::string& input = m_controlInput[fd];
    input.append(buffer, static_cast<std::size_t>(n));
    for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
        std::string line = input.substr(0, end);
        input.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string answer = Command(line) + "\n";
        (void)::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
}

std::vector<std::size_t> Simulator::FindDevices(const std::string& key) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const Device& d = m_devices[i].device;
        if (key == "all" || key == IpText(d.ip) || key == d.name || Lower(key) == Lower(MacString(d.mac)))
            found.push_back(i);
    }
    return found;
}

std::string Simulator::Command(const std::string& line) {
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string key = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "quit") {
        m_quit = true;
        Log("control quit");
        return "ok";
    }
    if (verb == "move")
        return Move(key);
    if (verb != "drop" && verb != "refuse" && verb != "restore")
        return "error unknown command '" + verb + "'";
    const auto devices = FindDevices(key);
    if (devices.empty())
        return "error no device '" + key + "'";
    for (std::size_t index : devices) {
        DeviceState& state = m_devices[index];
        if (verb == "drop") {
            std::vector<int> fds;
            for (const auto& [fd, connection] : m_connections)
                if (connection.device == index)
                    fds.push_back(fd);
            for (int fd : fds)
                CloseConnection(fd, "dropped");
        } else if (verb == "refuse") {
            state.refusing = true;
            state.listener.Reset();
        } else {
            state.refusing = false;
            std::string error;
            if (!state.listener && !Listen(state, error))
                return "error " + error;
        }
        Log("control %s %s", verb.c_str(), IpText(state.device.ip).c_str());
    }
    return "ok";
}

// A device server given a new address (by DHCP, say): same MAC, its connections cut, listening at the new
// address, which must already be on the LAN's bridge.
std::string Simulator::Move(const std::string& arguments) {
    const auto space = arguments.rfind(' ');
    in_addr to{};
    if (space == std::string::npos || inet_pton(AF_INET, arguments.c_str() + space + 1, &to) != 1)
        return "error usage: move DEVICE A.B.C.D";
    const auto devices = FindDevices(arguments.substr(0, space));
    if (devices.size() != 1)
        return "error move needs exactly one device";
    const std::size_t index = devices.front();
    DeviceState& state = m_devices[index];
    std::erase_if(m_byAddress, [&](const auto& entry) { return entry.second == index; });
    std::vector<int> fds;
    for (const auto& [fd, connection] : m_connections)
        if (connection.device == index)
            fds.push_back(fd);
    for (int fd : fds)
        CloseConnection(fd, "moved");
    state.listener.Reset();
    const std::string from = IpText(state.device.ip);
    std::memcpy(state.device.ip.data(), &to, 4);
    m_byAddress.emplace(to.s_addr, index);
    std::string error;
    if (!state.refusing && !Listen(state, error))
        return "error " + error;
    Log("control move %s %s", from.c_str(), IpText(state.device.ip).c_str());
    return "ok";
}

int Simulator::Run() {
    enum class Kind { Signal, UdpTi, UdpLantronix, Control, ControlClient, Listener, Tcp };
    std::vector<pollfd> fds;
    std::vector<std::pair<Kind, std::size_t>> slots;
    while (!m_quit) {
        fds.clear();
        slots.clear();
        auto add = [&](int fd, short events, Kind kind, std::size_t index) {
            fds.push_back({fd, events, 0});
            slots.emplace_back(kind, index);
        };
        add(m_signals.Get(), POLLIN, Kind::Signal, 0);
        add(m_udpTi.Get(), POLLIN, Kind::UdpTi, 0);
        add(m_udpLantronix.Get(), POLLIN, Kind::UdpLantronix, 0);
        if (m_control)
            add(m_control.Get(), POLLIN, Kind::Control, 0);
        for (const auto& [fd, owner] : m_controlClients)
            add(fd, POLLIN, Kind::ControlClient, static_cast<std::size_t>(fd));
        for (std::size_t i = 0; i < m_devices.size(); ++i)
            if (m_devices[i].listener)
                add(m_devices[i].listener.Get(), POLLIN, Kind::Listener, i);
        for (const auto& [fd, connection] : m_connections)
            add(fd, connection.pending.empty() ? POLLIN : POLLOUT, Kind::Tcp, static_cast<std::size_t>(fd));

        int timeout = -1;
        if (!m_due.empty()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_due.begin()->first - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            Log("error poll: %s", std::strerror(errno));
            return 1;
        }
        SendDue();
        bool udp = false;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const auto [kind, index] = slots[i];
            switch (kind) {
            case Kind::Signal:
                Log("signal quit");
                return 0;
            case Kind::UdpTi:
            case Kind::UdpLantronix:
                udp = true;
                break;
            case Kind::Control:
                AcceptControl();
                break;
            case Kind::ControlClient:
                ServeControl(static_cast<int>(index));
                break;
            case Kind::Listener:
                if (m_devices[index].listener)
                    Accept(index);
                break;
            case Kind::Tcp:
                ServeConnection(static_cast<int>(index), fds[i].revents);
                break;
            }
        }
        if (udp)
            ReceiveDatagrams();
    }
    return 0;
}

} // namespace devsim
