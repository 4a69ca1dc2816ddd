#include "engine/keep_alive.h"

#include <mstcpip.h>
#include <winsock2.h>

namespace kavrel::engine {

void TuneKeepAlive(asio::ip::tcp::socket& socket) noexcept {
    asio::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    // Windows sends ten probes: 3 s idle plus 10 x 0.5 s stays under 10 s.
    tcp_keepalive values{1, 3000, 500};
    DWORD returned = 0;
    WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
}

} // namespace kavrel::engine
