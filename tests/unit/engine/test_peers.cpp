#include "test_peers.h"

#include "engine/vspe_api.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <vector>

namespace kavrel::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool Ready(std::int32_t id) {
    std::int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

std::int32_t AddClient(std::uint16_t port, const std::string& extra, const std::string& host) {
    return vspe_createDevice("TcpClient",
                             (host + ";" + std::to_string(port) + ";100;2400,0,8,1,2,-1;0;10;;0;0" + extra).c_str());
}

namespace {
void FillPattern(char* out, std::uint64_t offset, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t at = offset + i;
        out[i] = static_cast<char>(static_cast<std::uint32_t>(at >> 2) >> (8 * (at & 3)));
    }
}
} // namespace

std::string Pattern(std::size_t n, std::uint64_t offset) {
    std::string data(n, '\0');
    FillPattern(data.data(), offset, n);
    return data;
}

DeviceServer::DeviceServer(Mode mode) : mode_(mode), paused_(mode == Mode::Stalled), acceptor_(io_) {
    Listen();
    thread_ = std::thread([this] {
        auto work = asio::make_work_guard(io_);
        io_.run();
    });
}

DeviceServer::~DeviceServer() {
    io_.stop();
    thread_.join();
}

template <class F> void DeviceServer::OnIo(F&& f) {
    std::promise<void> done;
    asio::post(io_, [&] {
        f();
        done.set_value();
    });
    done.get_future().get();
}

void DeviceServer::Listen() {
    asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port_);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(asio::socket_base::reuse_address(true));
    if (mode_ == Mode::Slow || mode_ == Mode::Stalled) { // a small window: it falls behind at once
        acceptor_.set_option(asio::socket_base::receive_buffer_size(mode_ == Mode::Slow ? 64 * 1024 : 16 * 1024));
    }
    acceptor_.bind(endpoint);
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    Accept();
}

void DeviceServer::Accept() {
    acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket socket) {
        if (ec) {
            return;
        }
        std::unique_lock lock(mutex_);
        ++accepted_;
        auto& conn = conns_.emplace_back(io_);
        lock.unlock();
        conn.socket = std::move(socket);
        if (!paused_) {
            Read(&conn);
        }
        Accept();
    });
}

void DeviceServer::Read(Conn* conn) {
    const std::size_t size = mode_ == Mode::Slow ? 16 * 1024 : sizeof conn->buffer;
    conn->socket.async_read_some(asio::buffer(conn->buffer, size), [this, conn](std::error_code ec, std::size_t n) {
        if (ec) {
            std::lock_guard lock(mutex_);
            conn->open = false;
            return;
        }
        if (mode_ == Mode::Echo) {
            // Reads on only once the echo is out, so the engine meets back-pressure as from a real device.
            asio::async_write(conn->socket, asio::buffer(conn->buffer, n),
                              [this, conn](std::error_code wec, std::size_t) {
                                  if (!wec) {
                                      Read(conn);
                                  }
                              });
            return;
        }
        {
            std::lock_guard lock(mutex_);
            received_.append(conn->buffer, n);
        }
        conn->pause.expires_after(mode_ == Mode::Slow ? 10ms : 0ms);
        conn->pause.async_wait([this, conn](std::error_code) { Read(conn); });
    });
}

void DeviceServer::Stop() {
    OnIo([this] {
        acceptor_.close();
        std::lock_guard lock(mutex_);
        for (auto& conn : conns_) {
            conn.socket.close();
            conn.open = false;
        }
    });
}

void DeviceServer::Restart() {
    OnIo([this] { Listen(); });
}

void DeviceServer::Resume() {
    OnIo([this] {
        paused_ = false;
        for (auto& conn : conns_) {
            Read(&conn);
        }
    });
}

void DeviceServer::SendToAll(const std::string& bytes) {
    OnIo([&] {
        for (auto& conn : conns_) {
            if (conn.open) {
                asio::error_code ignored;
                asio::write(conn.socket, asio::buffer(bytes), ignored);
            }
        }
    });
}

std::string DeviceServer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int DeviceServer::Accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

int DeviceServer::OpenConnections() const {
    std::lock_guard lock(mutex_);
    int open = 0;
    for (auto& conn : conns_) {
        open += conn.open ? 1 : 0;
    }
    return open;
}

SerialProgram::SerialProgram(std::string path) : path_(std::move(path)) {
    Reopen();
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
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
    return true;
}

std::string SerialProgram::Read(std::size_t n, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string data;
    char buffer[16 * 1024];
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, n - data.size()));
        if (got > 0) {
            data.append(buffer, static_cast<std::size_t>(got));
        }
    }
    return data;
}

std::string SerialProgram::Exchange(const std::string& data) {
    std::thread writer([&] { EXPECT_TRUE(Write(data)); });
    std::string echoed = Read(data.size(), 60s);
    writer.join();
    return echoed;
}

SerialProgram::Streamed SerialProgram::StreamThroughEcho(std::uint64_t n, std::chrono::seconds timeout) {
    Streamed result;
    std::vector<char> out(64 * 1024), in(64 * 1024), expected(64 * 1024);
    std::uint64_t sent = 0;
    std::size_t outStart = 0, outEnd = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result.received < n && std::chrono::steady_clock::now() < deadline) {
        if (outStart == outEnd && sent < n) {
            outStart = 0;
            outEnd = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), n - sent));
            FillPattern(out.data(), sent, outEnd);
        }
        pollfd p{fd_, static_cast<short>(POLLIN | (outStart < outEnd ? POLLOUT : 0)), 0};
        ::poll(&p, 1, 200);
        if (p.revents & POLLOUT) {
            const ssize_t put = ::write(fd_, out.data() + outStart, outEnd - outStart);
            outStart += put > 0 ? static_cast<std::size_t>(put) : 0;
            sent += put > 0 ? static_cast<std::uint64_t>(put) : 0;
        }
        const ssize_t got = (p.revents & POLLIN) ? ::read(fd_, in.data(), in.size()) : 0;
        if (got > 0) {
            FillPattern(expected.data(), result.received, static_cast<std::size_t>(got));
            const bool same = std::memcmp(in.data(), expected.data(), static_cast<std::size_t>(got)) == 0;
            for (ssize_t i = 0; !same && result.firstBad < 0 && i < got; ++i) {
                if (in[static_cast<std::size_t>(i)] != expected[static_cast<std::size_t>(i)]) {
                    result.firstBad = static_cast<std::int64_t>(result.received) + i;
                }
            }
            result.received += static_cast<std::uint64_t>(got);
        }
    }
    return result;
}

} // namespace kavrel::test
