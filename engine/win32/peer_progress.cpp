// SIO_TCP_INFO came with Windows 10 1703; older systems refuse the call at run time.
#define NTDDI_VERSION 0x0A000003

#include "engine/peer_progress.h"

#include <mstcpip.h>
#include <winsock2.h>

namespace kavrel::engine {

// Windows 10 1703 and later; Wine does not answer, and the caller then judges by its own writes.
std::optional<std::uint64_t> BytesAcknowledged(asio::ip::tcp::socket& socket) noexcept {
    DWORD version = 0;
    TCP_INFO_v0 info{};
    DWORD returned = 0;
    if (WSAIoctl(socket.native_handle(), SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &returned, nullptr,
                 nullptr) != 0 ||
        returned < sizeof info) {
        return std::nullopt;
    }
    return info.BytesOut - info.BytesInFlight;
}

} // namespace kavrel::engine
