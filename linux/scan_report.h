#pragma once
// What `kavrel scan` prints: one line per device, or one JSON array.

#include "linux/found_device.h"

#include <string>
#include <vector>

namespace kavrel::service {

std::string ScanTable(const std::vector<FoundDevice>& devices);
std::string ScanJson(const std::vector<FoundDevice>& devices);

} // namespace kavrel::service
