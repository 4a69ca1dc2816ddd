#include "linux/discovery_round.h"

#include "linux/text.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace kavrel::service {
namespace {

engine::UniqueFd Bind(const Ipv4Octets& address, std::uint16_t port, std::string& why) {
    engine::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    std::memcpy(&local.sin_addr, address.data(), 4);
    if (!fd || ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        why = "UDP port " + std::to_string(port) + ": " + std::strerror(errno);
        if (errno == EACCES)
            why += " (ports below 1024 need root or CAP_NET_BIND_SERVICE)";
        return {};
    }
    return fd;
}

} // namespace

DiscoveryRound::DiscoveryRound(const Warn& warn)
    : m_discovery(m_rows, {}, [](std::string_view bytes) { return Latin1(bytes); }) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        warn(std::string("cannot list the network interfaces: ") + std::strerror(errno));
        return;
    }
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !(entry->ifa_flags & IFF_UP))
            continue;
        Interface interface;
        interface.name = entry->ifa_name;
        std::memcpy(interface.address.data(), &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, 4);
        if (!TakesDiscoverySockets(interface.address))
            continue;
        // An alias such as "eth0:1" lives on eth0.
        interface.index = ::if_nametoindex(interface.name.substr(0, interface.name.find(':')).c_str());
        std::string why;
        interface.ti = Bind(interface.address, kTiPort, why);
        if (interface.ti)
            interface.lantronix = Bind(interface.address, kLantronixPort, why);
        const std::string where = interface.name + " (" + Utf8(Ipv4Text(interface.address)) + ")";
        if (!interface.lantronix) {
            warn("skipping " + where + ": cannot bind " + why);
            continue;
        }
        m_interfaces.push_back(std::move(interface));
    }
}

void DiscoveryRound::Send(const Warn& warn) {
    for (const SearchDatagram& datagram : SearchRequests(m_interfaces.size())) {
        const Interface& interface = m_interfaces[datagram.addressIndex];
        const bool ti = datagram.socket == DiscoveryProtocol::Ti;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(datagram.destinationPort);
        std::memcpy(&to.sin_addr, datagram.destination.data(), 4);
        // A broadcast must leave by the socket's own interface, not the routing table's first choice.
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec data{const_cast<std::uint8_t*>(datagram.bytes.data()), datagram.bytes.size()};
        msghdr message{};
        message.msg_name = &to;
        message.msg_namelen = sizeof to;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(interface.index);
        std::memcpy(&info.ipi_spec_dst, interface.address.data(), 4);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
        const int fd = ti ? interface.ti.Get() : interface.lantronix.Get();
        if (::sendmsg(fd, &message, 0) < 0)
            warn("cannot send a search on " + interface.name + ": " + std::strerror(errno));
    }
}

void DiscoveryRound::AddPollFds(std::vector<pollfd>& fds) const {
    for (const Interface& interface : m_interfaces) {
        fds.push_back({interface.ti.Get(), POLLIN, 0});
        fds.push_back({interface.lantronix.Get(), POLLIN, 0});
    }
}

void DiscoveryRound::Receive() {
    for (const Interface& interface : m_interfaces) {
        ReceiveFrom(interface.ti.Get(), DiscoveryProtocol::Ti);
        ReceiveFrom(interface.lantronix.Get(), DiscoveryProtocol::Lantronix);
    }
}

void DiscoveryRound::ReceiveFrom(int fd, DiscoveryProtocol protocol) {
    // One byte more than a reply may hold, so that a longer datagram shows as truncated.
    std::uint8_t buffer[kMaxReplySize + 1];
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            return;
        const auto size = static_cast<std::size_t>(n);
        if (size > kMaxReplySize)
            continue;
        Ipv4Octets sender;
        std::memcpy(sender.data(), &from.sin_addr, 4);
        const std::span<const std::uint8_t> datagram(buffer, size);
        if (protocol == DiscoveryProtocol::Ti)
            m_discovery.OnTiReply(datagram, sender);
        else
            m_discovery.OnLantronixReply(datagram, sender);
        if (const auto row = m_rows.TakeTouched()) {
            m_protocols.resize(static_cast<std::size_t>(m_rows.RowCount()));
            auto& [ti, lantronix] = m_protocols[static_cast<std::size_t>(*row)];
            (protocol == DiscoveryProtocol::Ti ? ti : lantronix) = true;
        }
    }
}

std::vector<FoundDevice> DiscoveryRound::Devices() const {
    std::vector<FoundDevice> devices;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        FoundDevice device;
        device.mac = Utf8(m_rows.CellText(row, kColumnMacAddress));
        device.ip = Utf8(m_rows.CellText(row, kColumnIpAddress));
        device.tcpPort = std::stoll(m_rows.CellText(row, kColumnTcpPort));
        device.name = Utf8(m_rows.CellText(row, kColumnName));
        std::tie(device.ti, device.lantronix) = m_protocols.at(static_cast<std::size_t>(row));
        devices.push_back(std::move(device));
    }
    return devices;
}

} // namespace kavrel::service
