#pragma once
// What the engine tests under Wine share: a device server, a port link to it, file handles and waiting.

#include <asio.hpp>

#include "engine/vspe_api.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kavrel::wintest {

using namespace std::chrono_literals;

// A device server on 127.0.0.1 (inside wine-run's private namespace) that echoes one connection at a time
// for as long as the test program runs: its port.
inline std::uint16_t StartEchoServer() {
    static auto& io = *new asio::io_context; // never destroyed: the servers' threads outlive every test
    auto acceptor =
        std::make_shared<asio::ip::tcp::acceptor>(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    std::thread([acceptor] {
        for (;;) {
            asio::ip::tcp::socket socket(io);
            asio::error_code ec;
            acceptor->accept(socket, ec);
            if (ec)
                return;
            char buffer[16 * 1024];
            for (std::size_t n; (n = socket.read_some(asio::buffer(buffer), ec)) > 0;) {
                asio::write(socket, asio::buffer(buffer, n), ec);
            }
        }
    }).detach();
    return acceptor->local_endpoint().port();
}

struct CloseFile {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using File = std::unique_ptr<void, CloseFile>;

inline File Open(const wchar_t* path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    HANDLE handle = CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return File(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// Connector COMcom, Splitter 100 and a TcpClient to an echo server: the client's id, or -1.
inline int32_t Link(int com, int baud = 2400) {
    std::string n = std::to_string(com), line = std::to_string(baud) + ",0,8,1,2,-1";
    if (vspe_createDevice("Connector", (n + ";1").c_str()) < 0 ||
        vspe_createDevice("Splitter", ("100;" + n + ";0;" + line + ";0;0;0").c_str()) < 0)
        return -1;
    std::string client = "127.0.0.1;" + std::to_string(StartEchoServer()) + ";100;" + line + ";0;10;;0;0";
    return vspe_createDevice("TcpClient", client.c_str());
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
