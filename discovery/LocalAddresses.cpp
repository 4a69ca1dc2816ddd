#include "discovery/LocalAddresses.h"

#include <winsock2.h>

#include <iphlpapi.h>

#include <cstring>

namespace kavrel {

std::optional<std::vector<Ipv4Octets>> LocalIpv4Addresses() {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER)
        return std::nullopt;
    // The table may grow between the two calls; ask again while it does.
    std::vector<unsigned char> buffer;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        result = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data()), &size, FALSE);
    }
    if (result != NO_ERROR)
        return std::nullopt;
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
    std::vector<Ipv4Octets> addresses;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        Ipv4Octets address;
        std::memcpy(address.data(), &table->table[i].dwAddr, address.size()); // network order: first octet first
        addresses.push_back(address);
    }
    return addresses;
}

} // namespace kavrel
