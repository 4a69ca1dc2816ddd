#include "engine/keep_alive.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace kavrel::engine {

void TuneKeepAlive(asio::ip::tcp::socket& socket) noexcept {
    asio::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    int fd = socket.native_handle();
    int idle = 3, interval = 1, count = 3;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#ifdef TCP_USER_TIMEOUT
    // Keep-alive probes wait while sent data is unacknowledged; this bounds that case too. The kernel notices
    // its expiry only at the next retransmission, so it is set well short of the 10 s.
    unsigned timeoutMs = 8000;
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeoutMs, sizeof timeoutMs);
#endif
}

} // namespace kavrel::engine
