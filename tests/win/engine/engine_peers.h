#pragma once
// What the engine tests under Wine share: an echoing device server on 127.0.0.1 (inside wine-run's private
// namespace), a port link to it, file handles and waiting.

#include <asio.hpp>

#include "engine/vspe_api.h"
#include "framework/ScopedHandles.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace kavrel::wintest {

using namespace std::chrono_literals;

class EchoServer {
public:
    EchoServer() {
        asio::co_spawn(io_, Serve(), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~EchoServer() {
        io_.stop();
        thread_.join();
    }
    std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

private:
    asio::awaitable<void> Serve() {
        for (;;) {
            asio::co_spawn(io_, Echo(co_await acceptor_.async_accept(asio::use_awaitable)), asio::detached);
        }
    }
    static asio::awaitable<void> Echo(asio::ip::tcp::socket socket) {
        char buffer[16 * 1024];
        for (;;) {
            std::size_t n = co_await socket.async_read_some(asio::buffer(buffer), asio::use_awaitable);
            co_await asio::async_write(socket, asio::buffer(buffer, n), asio::use_awaitable);
        }
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_{io_, {asio::ip::address_v4::loopback(), 0}};
    std::thread thread_;
};

struct FileTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using File = win::ScopedHandle<FileTraits>;

inline File Open(const wchar_t* path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return File(CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// Connector COMcom, Splitter 100 and a TcpClient to the server at port: the client's id, or -1.
inline int32_t Link(int com, std::uint16_t port, int baud = 2400) {
    std::string n = std::to_string(com), line = std::to_string(baud) + ",0,8,1,2,-1";
    if (vspe_createDevice("Connector", (n + ";1").c_str()) < 0 ||
        vspe_createDevice("Splitter", ("100;" + n + ";0;" + line + ";0;0;0").c_str()) < 0)
        return -1;
    return vspe_createDevice("TcpClient",
                             ("127.0.0.1;" + std::to_string(port) + ";100;" + line + ";0;10;;0;0").c_str());
}

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(20ms)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
    return true;
}

inline bool Ready(int32_t id) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_getDeviceInfo(id, &a, &b, &c, &ready) && ready != 0;
}

} // namespace kavrel::wintest
