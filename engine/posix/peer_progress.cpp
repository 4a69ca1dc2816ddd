#include "engine/peer_progress.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstddef>

namespace kavrel::engine {
namespace {
// The kernel's struct tcp_info as far as tcpi_bytes_acked (Linux 4.1), a fixed layout that only grows at
// its end; the C library's copy stops short of it, and the kernel's own header clashes with the library's.
struct TcpInfoHead {
    ::tcp_info known;
    std::uint64_t pacingRate;
    std::uint64_t maxPacingRate;
    std::uint64_t bytesAcked;
};
static_assert(offsetof(TcpInfoHead, bytesAcked) == 120, "not the layout of the kernel's tcp_info");
} // namespace

std::optional<std::uint64_t> BytesAcknowledged(asio::ip::tcp::socket& socket) noexcept {
    TcpInfoHead info{};
    socklen_t size = sizeof info;
    if (getsockopt(socket.native_handle(), IPPROTO_TCP, TCP_INFO, &info, &size) != 0 || size < sizeof info) {
        return std::nullopt; // a kernel older than 4.1
    }
    return info.bytesAcked;
}

} // namespace kavrel::engine
