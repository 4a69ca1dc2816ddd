#pragma once
// One simulated device server, as given on the command line or in a devices file: one line of
// space-separated key=value words, e.g.
//   ip=198.18.1.1 mac=00-20-4A-00-00-01 name=Rack%201 port=4001 protocol=both delay=200 twice fault=short junk=3

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devsim {

enum class Protocol { Ti, Lantronix, Both };

// How a device spoils its replies. Lantronix replies carry no checksum, command or name, so
// bad-checksum, wrong-command, no-zero and non-ascii leave them good.
enum class Fault {
    None,
    Silent,       // answers nothing
    BadChecksum,  // TI: the sum is off by one
    WrongTag,     // TI: tag 0xFD; Lantronix: 0x01 in the second header byte, like a request
    WrongType,    // TI: type 0x02; Lantronix: reply type 0xF5
    WrongCommand, // TI: command 0x03
    Short,        // one byte less than the fields need: TI 82, F7 29, F9 25
    Oversized,    // 300 bytes, more than a receiver's 255-byte buffer
    NoZero,       // TI: all 64 name bytes non-zero
    NonAscii,     // TI: a name with bytes above 0x7F (Latin-1 "Gerät Ü")
};

enum class TcpMode { Echo, Refuse };

struct Device {
    std::array<std::uint8_t, 4> ip{};
    std::array<std::uint8_t, 6> mac{};
    std::string name; // raw bytes, as sent
    std::uint16_t tcpPort = 4001;
    // The TI reply's port field when it should not be tcpPort: any 32-bit value, as a broken device may send.
    std::optional<std::int64_t> replyPort;
    Protocol protocol = Protocol::Both;
    Fault fault = Fault::None;
    int delayMs = 0;
    bool twice = false;
    int junk = 0; // invalid datagrams sent around each good reply
    TcpMode tcp = TcpMode::Echo;
};

// nullopt with a reason in error when the line is not a device.
std::optional<Device> ParseDevice(std::string_view line, std::string& error);
std::string IpText(const std::array<std::uint8_t, 4>& ip);
std::string MacString(const std::array<std::uint8_t, 6>& mac);

} // namespace devsim
