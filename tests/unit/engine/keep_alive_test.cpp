#include "engine/keep_alive.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

TEST(KeepAlive, VanishedPeerIsNoticedWithinTenSeconds) {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    asio::ip::tcp::socket socket(io);
    socket.connect(acceptor.local_endpoint());
    kavrel::engine::TuneKeepAlive(socket);
    auto option = [&](int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        getsockopt(socket.native_handle(), level, name, &value, &size);
        return value;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    int idle = option(IPPROTO_TCP, TCP_KEEPIDLE), interval = option(IPPROTO_TCP, TCP_KEEPINTVL);
    int count = option(IPPROTO_TCP, TCP_KEEPCNT);
    ASSERT_TRUE(idle > 0 && interval > 0 && count > 0);
    EXPECT_LE(idle + interval * count, 10);
    // Unacknowledged data holds keep-alive back; the user timeout covers that case.
    int userTimeoutMs = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
    EXPECT_TRUE(userTimeoutMs > 0 && userTimeoutMs <= 10000) << userTimeoutMs;
}
