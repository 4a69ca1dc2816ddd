#include "engine/keep_alive.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

int IntOption(int fd, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    getsockopt(fd, level, name, &value, &size);
    return value;
}

} // namespace

TEST(KeepAlive, VanishedPeerIsNoticedWithinTenSeconds) {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    asio::ip::tcp::socket socket(io);
    socket.connect(acceptor.local_endpoint());
    kavrel::engine::TuneKeepAlive(socket);

    int fd = socket.native_handle();
    EXPECT_EQ(IntOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    int idle = IntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
    int interval = IntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL);
    int count = IntOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    ASSERT_GT(idle, 0);
    ASSERT_GT(interval, 0);
    ASSERT_GT(count, 0);
    EXPECT_LE(idle + interval * count, 10);
    // Unacknowledged data holds keep-alive back; the user timeout covers that case.
    int userTimeoutMs = IntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT);
    EXPECT_GT(userTimeoutMs, 0);
    EXPECT_LE(userTimeoutMs, 10000);
}
