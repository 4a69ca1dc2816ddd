#include "discovery/replies.h"

#include <algorithm>
#include <cstdio>

namespace kavrel {

namespace {

constexpr std::size_t kTiLengthAt = 1;
constexpr std::size_t kTiMacAt = 9;
constexpr std::size_t kTiPortAt = 15;
constexpr std::size_t kTiNameAt = 19;
constexpr std::size_t kTiNameField = 64;
constexpr std::size_t kLantronixTypeAt = 3;
constexpr std::size_t kLantronixFieldAt = 24;

MacAddress MacAt(std::span<const std::uint8_t> datagram, std::size_t offset) {
    MacAddress mac;
    std::copy_n(datagram.begin() + static_cast<std::ptrdiff_t>(offset), mac.size(), mac.begin());
    return mac;
}

} // namespace

std::optional<TiReply> ParseTiReply(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kTiReplyMinSize || datagram.size() > kMaxReplySize)
        return std::nullopt;
    if (datagram[0] != 0xFE || datagram[kTiLengthAt] < 4 || datagram[2] != 0x02 || datagram[3] != 0x01)
        return std::nullopt;
    // The length byte may claim more than was received; the receive buffer is zeroed, so the missing
    // bytes count as zeros.
    const std::size_t covered = std::min<std::size_t>(datagram[kTiLengthAt], datagram.size());
    unsigned sum = 0;
    for (std::size_t i = 0; i < covered; ++i)
        sum += datagram[i];
    if (sum % 256 != 0)
        return std::nullopt;

    TiReply reply;
    reply.mac = MacAt(datagram, kTiMacAt);
    const std::uint32_t port = static_cast<std::uint32_t>(datagram[kTiPortAt]) |
                               static_cast<std::uint32_t>(datagram[kTiPortAt + 1]) << 8 |
                               static_cast<std::uint32_t>(datagram[kTiPortAt + 2]) << 16 |
                               static_cast<std::uint32_t>(datagram[kTiPortAt + 3]) << 24;
    reply.tcpPort = static_cast<std::int32_t>(port);
    const auto name = datagram.subspan(kTiNameAt, kTiNameField - 1);
    const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
    reply.name.assign(name.begin(), end);
    return reply;
}

std::optional<LantronixReply> ParseLantronixReply(std::span<const std::uint8_t> datagram) {
    if (datagram.size() <= kLantronixTypeAt || datagram.size() > kMaxReplySize)
        return std::nullopt;
    if (datagram[0] != 0 || datagram[1] != 0 || datagram[2] != 0)
        return std::nullopt;
    LantronixReply reply{};
    switch (datagram[kLantronixTypeAt]) {
    case 0xF7:
        if (datagram.size() < kF7ReplyMinSize)
            return std::nullopt;
        reply.type = LantronixReply::Type::F7;
        reply.mac = MacAt(datagram, kLantronixFieldAt);
        return reply;
    case 0xF9:
        if (datagram.size() < kF9ReplyMinSize)
            return std::nullopt;
        reply.type = LantronixReply::Type::F9;
        reply.tcpPort = static_cast<std::uint16_t>(datagram[kLantronixFieldAt] | datagram[kLantronixFieldAt + 1] << 8);
        return reply;
    default:
        return std::nullopt;
    }
}

std::wstring MacText(const MacAddress& mac) {
    wchar_t text[18];
    std::swprintf(text, std::size(text), L"%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

std::wstring Ipv4Text(const Ipv4Octets& address) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

} // namespace kavrel
