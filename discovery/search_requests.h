#pragma once
// What a search puts on the wire: the request datagrams, from which socket, to where, in which order.
// The Win32 side only sends what this returns.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavrel {

// An IPv4 address as it travels, first octet first (the bytes of in_addr).
using Ipv4Octets = std::array<std::uint8_t, 4>;

enum class DiscoveryProtocol { Ti, Lantronix };

inline constexpr std::uint16_t kTiPort = 23;
inline constexpr std::uint16_t kLantronixPort = 30718;
inline constexpr Ipv4Octets kBroadcastAddress = {255, 255, 255, 255};

inline constexpr std::array<std::uint8_t, 4> kTiRequest = {0xFF, 0x04, 0x02, 0xFB};
// Byte 1 is 0x01 where devices document 0x00; replies always carry 0x00 there, so our own requests
// echoed back to us never pass for replies.
inline constexpr std::array<std::uint8_t, 4> kLantronixF6Request = {0x00, 0x01, 0x00, 0xF6};
inline constexpr std::array<std::uint8_t, 4> kLantronixF8Request = {0x00, 0x01, 0x00, 0xF8};

struct SearchDatagram {
    DiscoveryProtocol socket; // which of the address's two sockets sends it
    std::size_t addressIndex; // which local address's socket, in the order the sockets were made
    Ipv4Octets destination;
    std::uint16_t destinationPort;
    std::array<std::uint8_t, 4> bytes;

    bool operator==(const SearchDatagram&) const = default;
};

// Whether a local address gets a pair of discovery sockets: all but 0.0.0.0 and exactly 127.0.0.1.
bool TakesDiscoverySockets(const Ipv4Octets& address);

// One search over addressCount local addresses, in sending order: every TI request first, then the
// F6 and F8 requests of each address in turn.
std::vector<SearchDatagram> SearchRequests(std::size_t addressCount);

} // namespace kavrel
