#include "test_peers.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <future>

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

DeviceServer::DeviceServer(Mode mode) : mode_(mode), acceptor_(io_) {
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
    if (mode_ == Mode::Slow) {
        acceptor_.set_option(
            asio::socket_base::receive_buffer_size(64 * 1024)); // a small window, so it falls behind at once
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
        Read(&conn);
        Accept();
    });
}

void DeviceServer::Read(Conn* conn) {
    conn->socket.async_read_some(asio::buffer(conn->buffer), [this, conn](std::error_code ec, std::size_t n) {
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
        if (mode_ == Mode::Slow) {
            conn->pause.expires_after(10ms);
            conn->pause.async_wait([this, conn](std::error_code) { Read(conn); });
            return;
        }
        Read(conn);
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

void DeviceServer::SendToAll(const std::string& bytes) {
    OnIo([&] {
        for (auto& conn : conns_) {
            if (conn.open) {
                asio::error_code ignored;
                asio::write(conn.socket, asio::buffer(bytes), ignored); // small messages in the tests
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
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
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

std::string Pattern(std::size_t n, unsigned seed) {
    std::string data(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return data;
}

} // namespace kavrel::test
