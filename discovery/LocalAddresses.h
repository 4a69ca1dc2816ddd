#pragma once
// The machine's IPv4 addresses, from the IP helper's address table.

#include "discovery/search_requests.h"

#include <optional>
#include <vector>

namespace kavrel {

// In table order; nothing when the table cannot be read.
std::optional<std::vector<Ipv4Octets>> LocalIpv4Addresses();

} // namespace kavrel
