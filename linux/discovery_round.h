#pragma once
// One discovery round on Linux: a TI and a Lantronix socket on every IPv4 interface, the search requests
// sent from each out of its own interface, and the replies judged by the program's reply rules.

#include "discovery/device_discovery.h"
#include "engine/posix/unique_fd.h"
#include "linux/found_device.h"
#include "linux/memory_rows.h"

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

namespace kavrel::service {

class DiscoveryRound {
public:
    using Warn = std::function<void(const std::string&)>;
    // Opens the sockets; an interface whose ports cannot be bound is skipped with a warning.
    explicit DiscoveryRound(const Warn& warn);
    DiscoveryRound(const DiscoveryRound&) = delete;
    DiscoveryRound& operator=(const DiscoveryRound&) = delete;

    void Send(const Warn& warn);
    // Adds one entry per socket to fds, for poll.
    void AddPollFds(std::vector<pollfd>& fds) const;
    // Reads whatever has arrived, without waiting.
    void Receive();
    std::size_t InterfaceCount() const { return m_interfaces.size(); }
    // Every device with a complete answer so far, in the order first seen.
    std::vector<FoundDevice> Devices() const;

private:
    struct Interface {
        std::string name;
        unsigned index = 0;
        Ipv4Octets address{};
        engine::UniqueFd ti;
        engine::UniqueFd lantronix;
    };
    void ReceiveFrom(int fd, DiscoveryProtocol protocol);

    std::vector<Interface> m_interfaces;
    MemoryRows m_rows;
    DeviceDiscovery m_discovery;
    std::vector<std::pair<bool, bool>> m_protocols; // per row: ti, lantronix
};

} // namespace kavrel::service
