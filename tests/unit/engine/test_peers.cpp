#include "test_peers.h"

#include "engine/vspe_api.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace kavrel::test {
static void SendAll(int fd, const char* bytes, std::size_t n) {
    for (ssize_t k = 0; n > 0 && (k = ::send(fd, bytes, n, MSG_NOSIGNAL)) > 0;
         bytes += k, n -= static_cast<std::size_t>(k)) {
    }
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

bool Ready(std::int32_t id) {
    std::int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

std::int32_t AddClient(std::uint16_t port, const std::string& extra, const std::string& host) {
    return vspe_createDevice("TcpClient",
                             (host + ";" + std::to_string(port) + ";100;2400,0,8,1,2,-1;0;10;;0;0" + extra).c_str());
}

std::string Pattern(std::size_t n, std::uint64_t offset) {
    std::string data(n, '\0');
    for (std::uint64_t at = offset; at < offset + n; ++at) {
        data[at - offset] = static_cast<char>(static_cast<std::uint32_t>(at >> 2) >> (8 * (at & 3)));
    }
    return data;
}

std::size_t CountEntries(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

DeviceServer::~DeviceServer() {
    paused_ = false;
    Stop();
    for (auto& conn : conns_) {
        conn.join();
    }
}

void DeviceServer::Restart() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1, window = mode_ == Mode::Slow ? 64 * 1024 : 16 * 1024;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (mode_ == Mode::Slow || mode_ == Mode::Stalled) { // inherited by the connections
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    }
    sockaddr_in address{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    EXPECT_TRUE(!::bind(listener_, any, size) && !::listen(listener_, 8) && !::getsockname(listener_, any, &size))
        << "no listener on port " << port_;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::lock_guard lock(mutex_);
            ++accepted_;
            open_.push_back(fd);
            conns_.emplace_back([this, fd] { Serve(fd); });
        }
    });
}

void DeviceServer::Serve(int fd) {
    std::vector<char> buffer(mode_ == Mode::Slow ? 16 * 1024 : 64 * 1024);
    for (;;) {
        while (paused_) {
            std::this_thread::sleep_for(10ms);
        }
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        if (mode_ == Mode::Echo) { // reads on only once the echo is out: back-pressure as from a real device
            SendAll(fd, buffer.data(), static_cast<std::size_t>(n));
        } else {
            std::lock_guard lock(mutex_);
            received_.append(buffer.data(), static_cast<std::size_t>(n));
        }
        std::this_thread::sleep_for(mode_ == Mode::Slow ? 10ms : 0ms);
    }
    std::lock_guard lock(mutex_);
    open_.erase(std::ranges::find(open_, fd));
    ::close(fd);
}

void DeviceServer::Stop() {
    if (!acceptor_.joinable()) {
        return;
    }
    ::shutdown(listener_, SHUT_RDWR); // ends the accept
    acceptor_.join();
    ::close(listener_);
    std::lock_guard lock(mutex_);
    for (int fd : open_) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

void DeviceServer::SendToAll(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    for (int fd : open_) {
        SendAll(fd, bytes.data(), bytes.size());
    }
}

void SerialProgram::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool SerialProgram::Reopen() {
    Close();
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd_ >= 0;
}

bool SerialProgram::Write(const std::string& bytes, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if ((n < 0 && errno != EAGAIN && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
            return false;
        } else {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
    return true;
}

std::string SerialProgram::Read(std::size_t n, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string data;
    char buffer[16 * 1024];
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        const ssize_t got = ::poll(&p, 1, 100) > 0 ? ::read(fd_, buffer, std::min(sizeof buffer, n - data.size())) : 0;
        data.append(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return data;
}

std::string SerialProgram::Exchange(const std::string& data) {
    std::thread writer([&] { EXPECT_TRUE(Write(data)); });
    std::string echoed = Read(data.size(), 60s);
    writer.join();
    return echoed;
}

} // namespace kavrel::test
