#pragma once
// What the engine tests under Wine share: an echoing device server and waiting for a condition.

#include <asio.hpp>

#include "engine/vspe_api.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <thread>

namespace kavrel::wintest {

using namespace std::chrono_literals;

// A device server that echoes on 127.0.0.1 (inside wine-run's private namespace).
class EchoServer {
public:
    EchoServer() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
        Accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~EchoServer() {
        io_.stop();
        thread_.join();
    }
    std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

private:
    struct Conn {
        explicit Conn(asio::ip::tcp::socket s) : socket(std::move(s)) {}
        asio::ip::tcp::socket socket;
        char buffer[16 * 1024];
    };
    void Accept() {
        acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket socket) {
            if (!ec) {
                Echo(&conns_.emplace_back(std::move(socket)));
                Accept();
            }
        });
    }
    void Echo(Conn* c) {
        c->socket.async_read_some(asio::buffer(c->buffer), [this, c](std::error_code ec, std::size_t n) {
            if (!ec) {
                asio::async_write(c->socket, asio::buffer(c->buffer, n), [this, c](std::error_code wec, std::size_t) {
                    if (!wec) {
                        Echo(c);
                    }
                });
            }
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::list<Conn> conns_;
    std::thread thread_;
};

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

inline bool Ready(int32_t id) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

} // namespace kavrel::wintest
