#include "discovery/search_requests.h"

namespace kavrel {

bool TakesDiscoverySockets(const Ipv4Octets& address) {
    constexpr Ipv4Octets kAny = {0, 0, 0, 0};
    constexpr Ipv4Octets kLoopback = {127, 0, 0, 1};
    return address != kAny && address != kLoopback;
}

std::vector<SearchDatagram> SearchRequests(std::size_t addressCount) {
    std::vector<SearchDatagram> datagrams;
    datagrams.reserve(addressCount * 3);
    for (std::size_t i = 0; i < addressCount; ++i)
        datagrams.push_back({DiscoveryProtocol::Ti, i, kBroadcastAddress, kTiPort, kTiRequest});
    for (std::size_t i = 0; i < addressCount; ++i) {
        datagrams.push_back({DiscoveryProtocol::Lantronix, i, kBroadcastAddress, kLantronixPort, kLantronixF6Request});
        datagrams.push_back({DiscoveryProtocol::Lantronix, i, kBroadcastAddress, kLantronixPort, kLantronixF8Request});
    }
    return datagrams;
}

} // namespace kavrel
