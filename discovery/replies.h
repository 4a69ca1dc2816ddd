#pragma once
// The reply formats of both discovery protocols: checks, fields and the texts made from them.

#include "discovery/search_requests.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kavrel {

// The receive buffer's size; a datagram longer than this is taken as truncated and dropped.
inline constexpr std::size_t kMaxReplySize = 255;
// The shortest datagrams that hold every field read from them.
inline constexpr std::size_t kTiReplyMinSize = 83;
inline constexpr std::size_t kF7ReplyMinSize = 30;
inline constexpr std::size_t kF9ReplyMinSize = 26;
inline constexpr std::size_t kTiNameMaxBytes = 63;

using MacAddress = std::array<std::uint8_t, 6>;

struct TiReply {
    MacAddress mac;
    std::int32_t tcpPort;
    std::string name; // raw bytes in the ANSI code page, without the ending zero
};

struct LantronixReply {
    enum class Type { F7, F9 } type;
    MacAddress mac;        // F7 only
    std::uint16_t tcpPort; // F9 only
};

std::optional<TiReply> ParseTiReply(std::span<const std::uint8_t> datagram);
std::optional<LantronixReply> ParseLantronixReply(std::span<const std::uint8_t> datagram);

// "00-1A-2B-3C-4D-5E"
std::wstring MacText(const MacAddress& mac);
// "198.18.1.7"
std::wstring Ipv4Text(const Ipv4Octets& address);

} // namespace kavrel
