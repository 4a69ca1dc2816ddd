#pragma once
// What the running service publishes of itself (a JSON file in its port folder) and `kavrel status` shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::service {

struct LinkStatus {
    int port = 0;
    std::string mac;
    std::string address; // empty while the device has not been found
    std::int64_t tcpPort = 0;
    std::string path;
    bool connected = false;
    std::uint64_t bytesToDevice = 0;
    std::uint64_t bytesFromDevice = 0;

    bool operator==(const LinkStatus&) const = default;
};

struct ServiceStatus {
    long pid = 0;
    std::string portDir;
    std::vector<LinkStatus> links;

    bool operator==(const ServiceStatus&) const = default;
};

inline constexpr char kStatusFileName[] = "status.json";

std::string StatusJson(const ServiceStatus& status);
// Nothing when the text is not a status the service wrote.
std::optional<ServiceStatus> ParseStatusJson(std::string_view text);
std::string StatusTable(const ServiceStatus& status);

} // namespace kavrel::service
