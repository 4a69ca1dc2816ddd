#pragma once
// The ends the engine joins, as the tests play them: device servers on 127.0.0.1 and a serial program on
// the published pty.

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace kavrel::test {

using namespace std::chrono_literals;

// Polls until the condition holds; generous bounds, for a loaded machine.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);
bool Ready(std::int32_t id);
// A TcpClient on link 100 as the program makes it (a connection attempt may take 10 s); extra is appended.
std::int32_t AddClient(std::uint16_t port, const std::string& extra = "", const std::string& host = "127.0.0.1");
// Little-endian 32-bit counters one after another from byte offset on: a lost, repeated or reordered byte
// shows at its offset, and every byte value occurs.
std::string Pattern(std::size_t n, std::uint64_t offset);

class DeviceServer {
public:
    // Slow reads 16 KiB every 10 ms: it keeps its connection alive but cannot keep up. Stalled reads nothing
    // until Resume, with a small window, so that it fills up at once.
    enum class Mode { Echo, Record, Slow, Stalled };

    explicit DeviceServer(Mode mode);
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;
    ~DeviceServer();

    std::uint16_t Port() const { return port_; }
    Mode GetMode() const { return mode_; }
    // Closes the listener and every connection, as a device server that restarts.
    void Stop();
    void Restart();
    void Resume();
    void SendToAll(const std::string& bytes);
    std::string Received() const;
    int Accepted() const;
    int OpenConnections() const;

private:
    struct Conn {
        explicit Conn(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        char buffer[64 * 1024];
        bool open = true;
        asio::steady_timer pause{socket.get_executor()};
    };

    void Listen();
    void Accept();
    void Read(Conn* conn);
    template <class F> void OnIo(F&& f);

    const Mode mode_;
    bool paused_; // on the I/O thread
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::uint16_t port_ = 0;
    std::list<Conn> conns_;
    mutable std::mutex mutex_;
    std::string received_;
    int accepted_ = 0;
    std::thread thread_;
};

class SerialProgram {
public:
    explicit SerialProgram(std::string path);
    SerialProgram(const SerialProgram&) = delete;
    SerialProgram& operator=(const SerialProgram&) = delete;
    ~SerialProgram() { Close(); }

    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    bool Reopen();
    bool Write(const std::string& bytes, std::chrono::milliseconds timeout = 30s);
    // Reads until n bytes arrived or the time is up.
    std::string Read(std::size_t n, std::chrono::milliseconds timeout = 20s);
    // Writes from another thread while reading here: an echo must be drained as it comes back.
    std::string Exchange(const std::string& data);
    // Writes n pattern bytes while checking what an echo returns, without holding the transfer in memory.
    struct Streamed {
        std::uint64_t received = 0;
        std::int64_t firstBad = -1;
    };
    Streamed StreamThroughEcho(std::uint64_t n, std::chrono::seconds timeout);

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace kavrel::test
