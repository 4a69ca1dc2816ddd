#include "fault_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace kavrel::test {
namespace {

int Listen(std::uint16_t& port, int receiveBuffer = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    if (receiveBuffer > 0) // inherited by accepted sockets: a stalled one fills up soon
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

void FillCounter(std::uint8_t* out, std::uint64_t offset, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t at = offset + i;
        out[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(at >> 2) >> (8 * (at & 3)));
    }
}

StreamResult StreamCounter(int fd, std::uint64_t sendCount, std::uint64_t receiveCount, int timeoutSeconds) {
    StreamResult result;
    std::vector<std::uint8_t> out(64 * 1024), in(64 * 1024), expected(64 * 1024);
    std::size_t outStart = 0, outEnd = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while ((result.sent < sendCount || result.received < receiveCount) && std::chrono::steady_clock::now() < deadline) {
        if (outStart == outEnd && result.sent < sendCount) {
            outStart = 0;
            outEnd = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), sendCount - result.sent));
            FillCounter(out.data(), result.sent, outEnd);
        }
        pollfd p{fd, 0, 0};
        if (outStart < outEnd)
            p.events |= POLLOUT;
        if (result.received < receiveCount)
            p.events |= POLLIN;
        if (::poll(&p, 1, 200) < 0)
            break;
        if (p.revents & POLLOUT) {
            const ssize_t n = ::write(fd, out.data() + outStart, outEnd - outStart);
            if (n > 0) {
                outStart += static_cast<std::size_t>(n);
                result.sent += static_cast<std::uint64_t>(n);
            }
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), receiveCount - result.received));
            const ssize_t n = ::read(fd, in.data(), want);
            if (n > 0) {
                FillCounter(expected.data(), result.received, static_cast<std::size_t>(n));
                if (result.firstBadOffset < 0 &&
                    std::memcmp(in.data(), expected.data(), static_cast<std::size_t>(n)) != 0) {
                    for (ssize_t i = 0; i < n; ++i) {
                        if (in[static_cast<std::size_t>(i)] != expected[static_cast<std::size_t>(i)]) {
                            result.firstBadOffset = static_cast<std::int64_t>(result.received) + i;
                            break;
                        }
                    }
                }
                result.received += static_cast<std::uint64_t>(n);
            } else if (n == 0 && !(p.revents & POLLIN)) {
                break;
            }
        }
    }
    return result;
}

StallServer::StallServer() {
    listener_ = Listen(port_, 16 * 1024);
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    thread_ = std::thread([this] { Run(); });
}

StallServer::~StallServer() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : conns_)
        ::close(fd);
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string StallServer::NewestReceived() const {
    std::lock_guard lock(mutex_);
    return newest_;
}

void StallServer::Run() {
    char buffer[16 * 1024];
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        if (reading_) {
            for (int fd : conns_)
                fds.push_back({fd, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 50);
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard lock(mutex_);
                conns_.push_back(fd);
                newest_.clear();
                ++accepted_;
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                ::close(fds[i].fd);
                conns_.erase(std::find(conns_.begin(), conns_.end(), fds[i].fd));
            } else if (fds[i].fd == conns_.back()) {
                newest_.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
}

CounterServer::CounterServer(std::uint64_t sendCount, std::uint64_t receiveCount) {
    listener_ = Listen(port_);
    thread_ = std::thread([this, sendCount, receiveCount] {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        result_ = StreamCounter(fd, sendCount, receiveCount, 900);
        ::close(fd);
    });
}

CounterServer::~CounterServer() {
    ::shutdown(listener_, SHUT_RDWR); // wakes an accept that never got its connection
    if (thread_.joinable())
        thread_.join();
    ::close(listener_);
}

StreamResult CounterServer::Wait() {
    if (thread_.joinable())
        thread_.join();
    return result_;
}

} // namespace kavrel::test
