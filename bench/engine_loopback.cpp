// One TcpClient on loopback: how fast bytes go from a serial program through the engine to an echo server
// and back, and how long one byte's round trip takes. Run the optimised build:
//   cmake --preset bench && cmake --build --preset bench --parallel 2 --target engine_loopback
//   build/bench/bin/engine_loopback

#include "engine/vspe_api.h"

#include <asio.hpp>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

class EchoServer {
public:
    EchoServer() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
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
        char buffer[64 * 1024];
    };
    void Accept() {
        acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket socket) {
            if (!ec) {
                socket.set_option(asio::ip::tcp::no_delay(true));
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

bool ReadExactly(int fd, char* data, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) {
            return false;
        }
        ssize_t r = ::read(fd, data + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        }
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 10000) <= 0) {
                return false;
            }
        }
    }
    return true;
}

int Fail(const char* what) {
    std::fprintf(stderr, "engine_loopback: %s\n", what);
    return 1;
}

} // namespace

int main() {
    char dir[] = "/tmp/kavrel-bench.XXXXXX";
    if (!mkdtemp(dir)) {
        return Fail("no temporary directory");
    }
    setenv("KAVREL_PORT_DIR", dir, 1);
    EchoServer server;
    std::string init = "127.0.0.1;" + std::to_string(server.Port()) + ";100;2400,0,8,1,2,-1;0;10;;0;0";
    int32_t client = -1;
    if (!vspe_initialize() || vspe_createDevice("Connector", "7;1") < 0 ||
        vspe_createDevice("Splitter", "100;7;0;2400,0,8,1,2,-1;0;0;0") < 0 ||
        (client = vspe_createDevice("TcpClient", init.c_str())) < 0 || !vspe_startEmulation()) {
        return Fail("engine set-up failed");
    }
    int32_t a, b, c, ready = 0;
    for (auto until = Clock::now() + 10s; !ready && Clock::now() < until; std::this_thread::sleep_for(1ms)) {
        vspe_getDeviceInfo(client, &a, &b, &c, &ready);
    }
    int fd = ::open((std::string(dir) + "/COM7").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (!ready || fd < 0) {
        return Fail("not connected");
    }

    // Throughput: write and read back concurrently, so both directions are busy at once.
    constexpr std::size_t kTotal = 64 * 1024 * 1024;
    std::vector<char> out(kTotal), in(kTotal);
    for (std::size_t i = 0; i < kTotal; ++i) {
        out[i] = static_cast<char>(i * 7 + (i >> 11));
    }
    auto start = Clock::now();
    bool written = false;
    std::thread writer([&] { written = WriteAll(fd, out.data(), kTotal); });
    bool echoed = ReadExactly(fd, in.data(), kTotal);
    writer.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!written || !echoed || in != out) {
        auto diff = std::mismatch(in.begin(), in.end(), out.begin());
        std::fprintf(stderr, "written %d echoed %d first difference at %zu\n", written, echoed,
                     static_cast<std::size_t>(diff.first - in.begin()));
        return Fail("echo incomplete or altered");
    }

    // Latency: one byte out and back, many times.
    constexpr int kRounds = 2000;
    std::vector<double> micros;
    for (int i = 0; i < kRounds; ++i) {
        char byte = static_cast<char>(i), back = 0;
        auto t0 = Clock::now();
        if (!WriteAll(fd, &byte, 1) || !ReadExactly(fd, &back, 1) || back != byte) {
            return Fail("round trip lost");
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(micros.begin(), micros.end());

    std::printf("throughput: %.1f MiB/s each way (64 MiB echoed: pty -> engine -> TCP echo -> engine -> pty)\n",
                static_cast<double>(kTotal) / (1024.0 * 1024.0) / seconds);
    std::printf("round trip: median %.0f us, p99 %.0f us (%d x 1 byte)\n", micros[kRounds / 2],
                micros[kRounds * 99 / 100], kRounds);
    ::close(fd);
    vspe_release();
    std::filesystem::remove_all(dir);
    return 0;
}
