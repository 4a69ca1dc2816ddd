#pragma once
// Reply datagrams laid out field by field as devices send them.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::testing {

using Bytes = std::vector<std::uint8_t>;

// Sets byte `at` so that the bytes the length byte covers add up to 0.
inline void FixTiChecksum(Bytes& d, std::size_t at) {
    d[at] = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < d[1] && i < d.size(); ++i)
        sum += d[i];
    d[at] = static_cast<std::uint8_t>(256 - sum % 256);
}

// 84 bytes: the fields up to offset 82, then a checksum byte that the length covers.
inline Bytes TiReplyBytes(const Bytes& mac, std::int32_t port, const std::string& name) {
    Bytes d = {0xFE, 84, 0x02, 0x01};
    d.resize(84);
    std::copy(mac.begin(), mac.end(), d.begin() + 9);
    for (std::size_t i = 0; i < 4; ++i)
        d[15 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(port) >> (8 * i));
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 64), d.begin() + 19);
    FixTiChecksum(d, 83);
    return d;
}

inline Bytes F7Bytes(const Bytes& mac) {
    Bytes d(30, 0);
    d[3] = 0xF7;
    std::copy(mac.begin(), mac.end(), d.begin() + 24);
    return d;
}

inline Bytes F9Bytes(std::uint16_t port) {
    Bytes d(26, 0);
    d[3] = 0xF9;
    d[24] = static_cast<std::uint8_t>(port);
    d[25] = static_cast<std::uint8_t>(port >> 8);
    return d;
}

// What the ANSI code page does for Windows-1252's lower half: each byte is its own code point.
inline std::wstring Latin1Decode(std::string_view bytes) {
    std::wstring text;
    for (unsigned char c : bytes)
        text.push_back(c);
    return text;
}

} // namespace kavrel::testing
