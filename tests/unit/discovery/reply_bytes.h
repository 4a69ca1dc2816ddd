#pragma once
// Reply datagrams for the rules' tests, built field by field the way a device lays them out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::testing {

using Bytes = std::vector<std::uint8_t>;

// Makes bytes 0 to length-1 add up to 0 by adjusting the byte at `at`.
inline void FixTiChecksum(Bytes& d, std::size_t at) {
    d[at] = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < d[1] && i < d.size(); ++i)
        sum += d[i];
    d[at] = static_cast<std::uint8_t>(256 - sum % 256);
}

// 84 bytes: the fields up to offset 82, then a checksum byte that the length covers.
inline Bytes TiReplyBytes(std::vector<std::uint8_t> mac, std::int32_t port, const std::string& name) {
    Bytes d(84, 0);
    d[0] = 0xFE;
    d[1] = 84;
    d[2] = 0x02;
    d[3] = 0x01;
    for (std::size_t i = 0; i < 6; ++i)
        d[9 + i] = mac[i];
    const auto p = static_cast<std::uint32_t>(port);
    for (std::size_t i = 0; i < 4; ++i)
        d[15 + i] = static_cast<std::uint8_t>(p >> (8 * i));
    for (std::size_t i = 0; i < name.size() && i < 64; ++i)
        d[19 + i] = static_cast<std::uint8_t>(name[i]);
    FixTiChecksum(d, 83);
    return d;
}

inline Bytes F7Bytes(std::vector<std::uint8_t> mac) {
    Bytes d(30, 0);
    d[3] = 0xF7;
    for (std::size_t i = 0; i < 6; ++i)
        d[24 + i] = mac[i];
    return d;
}

inline Bytes F9Bytes(std::uint16_t port) {
    Bytes d(26, 0);
    d[3] = 0xF9;
    d[24] = static_cast<std::uint8_t>(port & 0xFF);
    d[25] = static_cast<std::uint8_t>(port >> 8);
    return d;
}

// What the ANSI code page would do for Windows-1252's lower half: each byte is its own code point.
inline std::wstring Latin1Decode(std::string_view bytes) {
    std::wstring text;
    for (char c : bytes)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return text;
}

} // namespace kavrel::testing
