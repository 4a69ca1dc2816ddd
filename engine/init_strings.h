#pragma once
// The init strings of the three device types. Parsing is strict: any field out of shape makes no device.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kavrel::engine {

// "baud,parity,data bits,stop bits,flow control,extra"; kept whole, the port applies what it can carry and
// an RFC 2217 link sends it on to the device server.
struct SerialParams {
    int baud = 2400;
    int parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 1;    // 2 means two stop bits, anything else one
    int flowControl = 2; // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 DSR/DTR
    int extra = -1;
};

// "N;F": the port COMN.
struct ConnectorConfig {
    int comNumber = 0;
    int flag = 0;
};

// "L;N;0;params;0;0;0": link number L on the port COMN.
struct SplitterConfig {
    std::int32_t linkNumber = 0;
    int comNumber = 0;
    SerialParams params;
};

// "HOST;PORT;L;params;0;timeout;;0;0" with an optional tenth field "rfc2217": timeout is how long, in
// seconds, one connection attempt may take; rfc2217 makes the link speak Telnet COM port control.
struct TcpClientConfig {
    std::array<std::uint8_t, 4> host{};
    std::uint16_t port = 0;
    std::int32_t linkNumber = 0;
    SerialParams params;
    int connectTimeoutSeconds = 10;
    bool rfc2217 = false;
};

std::optional<ConnectorConfig> ParseConnector(std::string_view init);
std::optional<SplitterConfig> ParseSplitter(std::string_view init);
std::optional<TcpClientConfig> ParseTcpClient(std::string_view init);

} // namespace kavrel::engine
