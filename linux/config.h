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

struct LinkConfig {
    std::string mac; // the program's MAC text: upper-case pairs joined by "-"
    int port = 0;    // port_dir/COM<port>
    std::string path;
    std::optional<std::int64_t> tcpPort;
    std::string address; // empty: the address the device answers discovery from
    int line = 0;        // of the [[link]] header, for messages

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
