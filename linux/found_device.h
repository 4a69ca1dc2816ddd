#pragma once
// One device server as a discovery round saw it, in the texts the command line prints.

#include <cstdint>
#include <string>

namespace kavrel::service {

struct FoundDevice {
    std::string mac; // "00-20-4A-10-00-01"
    std::string ip;  // the address its replies came from
    std::int64_t tcpPort = 0;
    std::string name; // UTF-8
    bool ti = false;
    bool lantronix = false;
};

} // namespace kavrel::service
