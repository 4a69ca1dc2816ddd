#pragma once
// One COM port name joined to the engine: its Connector and Splitter, and one TcpClient per linked row.

#include <cstdint>
#include <string>
#include <vector>

namespace kavrel {

struct PortLink {
    std::wstring comName; // the link's key, compared as whole text, case-sensitive
    std::int32_t connectorId = -1;
    std::int32_t splitterId = -1;
    // Names the Splitter that the link's TcpClients attach to, so no two live links may share it.
    std::int32_t linkNumber = 0;
    std::vector<std::int32_t> tcpClientIds; // in the order the rows were linked
};

} // namespace kavrel
