#pragma once
// The service's configuration: top-level settings and [[link]] tables in TOML, checked in full before
// anything starts, so that a mistake stops the service with the file, the line and the key.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::service {

inline constexpr int kDefaultRescanSeconds = 30;

// The serial line a port's devices are set to, and that an RFC 2217 link asks the device server for.
struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 1; // 1 or 2
    int flow = 0;     // 0 none, 1 XON/XOFF, 2 RTS/CTS

    bool operator==(const LineSettings&) const = default;
};

// The line as the engine's init strings write it: "baud,parity,data bits,stop bits,flow,-1".
std::wstring LineParams(const LineSettings& line);

struct LinkConfig {
    std::string mac; // the program's MAC text: upper-case pairs joined by "-"
    int port = 0;    // port_dir/COM<port>
    std::string path;
    std::optional<std::int64_t> tcpPort;
    std::string address;  // empty: the address the device answers discovery from
    bool rfc2217 = false; // Telnet with COM port control instead of raw TCP
    LineSettings line;    // one port, one line: every link of a port must agree
    bool lineGiven = false;
    int at = 0; // the line of the [[link]] header, for messages

    // Whether two configurations make the same link (where it was written does not count).
    bool SameLink(const LinkConfig& other) const;
};

struct Config {
    std::string portDir;
    int rescanSeconds = kDefaultRescanSeconds;
    std::vector<LinkConfig> links;
};

struct ConfigResult {
    std::optional<Config> config;
    std::string error; // "FILE:LINE: KEY: what is wrong", when config is empty
};

ConfigResult ParseConfig(std::string_view text, const std::string& fileName, const std::string& defaultPortDir);
ConfigResult LoadConfig(const std::string& path, const std::string& defaultPortDir);

// "00:20:4a:10:00:01" or "00-20-4A-10-00-01" gives "00-20-4A-10-00-01"; anything but six hex pairs, nothing.
std::optional<std::string> NormalizeMac(std::string_view text);

// /run/kavrel for root, else $XDG_RUNTIME_DIR/kavrel, else a folder of the user's under /tmp.
std::string DefaultPortDir();

} // namespace kavrel::service
