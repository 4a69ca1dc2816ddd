#include "linux/scan_report.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace kavrel::service {
namespace {

std::string Protocols(const FoundDevice& device, const char* separator) {
    std::string text = device.ti ? "ti" : "";
    if (device.lantronix)
        text += (text.empty() ? "" : separator) + std::string("lantronix");
    return text;
}

} // namespace

std::string ScanTable(const std::vector<FoundDevice>& devices) {
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "%-17s  %-15s  %-5s  %-12s  %s\n", "MAC", "ADDRESS", "PORT", "PROTOCOLS", "NAME");
    text += line;
    for (const FoundDevice& device : devices) {
        std::snprintf(line, sizeof line, "%-17s  %-15s  %-5lld  %-12s  ", device.mac.c_str(), device.ip.c_str(),
                      static_cast<long long>(device.tcpPort), Protocols(device, ",").c_str());
        text += line + device.name + "\n";
    }
    return text;
}

std::string ScanJson(const std::vector<FoundDevice>& devices) {
    auto list = nlohmann::ordered_json::array();
    for (const FoundDevice& device : devices) {
        auto protocols = nlohmann::ordered_json::array();
        if (device.ti)
            protocols.push_back("ti");
        if (device.lantronix)
            protocols.push_back("lantronix");
        list.push_back({{"mac", device.mac},
                        {"ip", device.ip},
                        {"tcp_port", device.tcpPort},
                        {"name", device.name},
                        {"protocols", protocols}});
    }
    // A name from a broken device may not be valid UTF-8: replace rather than fail the whole list.
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace kavrel::service
