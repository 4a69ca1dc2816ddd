#include "linux/service_status.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace kavrel::service {

std::string StatusJson(const ServiceStatus& status) {
    auto links = nlohmann::ordered_json::array();
    for (const LinkStatus& link : status.links) {
        nlohmann::ordered_json entry = {{"port", link.port},
                                        {"mac", link.mac},
                                        {"address", nullptr},
                                        {"tcp_port", nullptr},
                                        {"path", nullptr},
                                        {"connected", link.connected},
                                        {"bytes_to_device", link.bytesToDevice},
                                        {"bytes_from_device", link.bytesFromDevice}};
        if (!link.address.empty()) {
            entry["address"] = link.address;
            entry["tcp_port"] = link.tcpPort;
        }
        if (!link.path.empty())
            entry["path"] = link.path;
        links.push_back(std::move(entry));
    }
    const nlohmann::ordered_json root = {{"pid", status.pid}, {"port_dir", status.portDir}, {"links", links}};
    return root.dump(2) + "\n";
}

std::optional<ServiceStatus> ParseStatusJson(std::string_view text) {
    try {
        const auto root = nlohmann::json::parse(text);
        ServiceStatus status;
        status.pid = root.at("pid").get<long>();
        status.portDir = root.at("port_dir").get<std::string>();
        for (const auto& entry : root.at("links")) {
            LinkStatus link;
            link.port = entry.at("port").get<int>();
            link.mac = entry.at("mac").get<std::string>();
            if (!entry.at("address").is_null()) {
                link.address = entry.at("address").get<std::string>();
                link.tcpPort = entry.at("tcp_port").get<std::int64_t>();
            }
            if (!entry.at("path").is_null())
                link.path = entry.at("path").get<std::string>();
            link.connected = entry.at("connected").get<bool>();
            link.bytesToDevice = entry.at("bytes_to_device").get<std::uint64_t>();
            link.bytesFromDevice = entry.at("bytes_from_device").get<std::uint64_t>();
            status.links.push_back(std::move(link));
        }
        return status;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::string StatusTable(const ServiceStatus& status) {
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "%-6s  %-17s  %-21s  %-13s  %12s  %12s\n", "PORT", "MAC", "ADDRESS", "STATE",
                  "TO DEVICE", "FROM DEVICE");
    text += line;
    for (const LinkStatus& link : status.links) {
        const std::string port = "COM" + std::to_string(link.port);
        const std::string address =
            link.address.empty() ? std::string("-") : link.address + ":" + std::to_string(link.tcpPort);
        const char* state = link.connected ? "connected" : link.address.empty() ? "not found" : "not connected";
        std::snprintf(line, sizeof line, "%-6s  %-17s  %-21s  %-13s  %12llu  %12llu\n", port.c_str(), link.mac.c_str(),
                      address.c_str(), state, static_cast<unsigned long long>(link.bytesToDevice),
                      static_cast<unsigned long long>(link.bytesFromDevice));
        text += line;
    }
    return text;
}

} // namespace kavrel::service
