#pragma once
// The ends the engine joins, as the tests play them: device servers on 127.0.0.1 and a serial program on
// the published pty.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kavrel::test {

using namespace std::chrono_literals;

// Polls until the condition holds; generous bounds, for a loaded machine.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);
bool Ready(std::int32_t id);
// A TcpClient on link 100 as the program makes it (a connection attempt may take 10 s); extra is appended.
std::int32_t AddClient(std::uint16_t port, const std::string& extra = "", const std::string& host = "127.0.0.1");
// Little-endian 32-bit counters from byte offset on: every byte value occurs, and a lost, repeated or
// reordered byte shows.
std::string Pattern(std::size_t n, std::uint64_t offset);
std::size_t CountEntries(const std::string& dir);

// A thread per connection. Slow reads 16 KiB every 10 ms: it keeps its connection alive but cannot keep
// up. Stalled reads nothing until Resume. Both have a small window, so that they fall behind at once.
class DeviceServer {
public:
    enum class Mode { Echo, Record, Slow, Stalled };

    explicit DeviceServer(Mode mode) : mode_(mode), paused_(mode == Mode::Stalled) { Restart(); }
    ~DeviceServer();

    std::uint16_t Port() const { return port_; }
    // Closes the listener and every connection, as a device server that restarts.
    void Stop();
    void Restart();
    void Resume() { paused_ = false; }
    void SendToAll(const std::string& bytes);
    std::string Received() const { return Locked(received_); }
    int Accepted() const { return Locked(accepted_); }
    int OpenConnections() const { return static_cast<int>(Locked(open_).size()); }

private:
    void Serve(int fd);
    template <class T> T Locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    const Mode mode_;
    std::atomic<bool> paused_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<int> open_;
    std::vector<std::thread> conns_;
    std::string received_;
    int accepted_ = 0;
};

class SerialProgram {
public:
    explicit SerialProgram(std::string path) : path_(std::move(path)) { Reopen(); }
    SerialProgram(const SerialProgram&) = delete;
    SerialProgram& operator=(const SerialProgram&) = delete;
    ~SerialProgram() { Close(); }

    void Close();
    bool Reopen();
    bool Write(const std::string& bytes, std::chrono::milliseconds timeout = 30s);
    std::string Read(std::size_t n, std::chrono::milliseconds timeout = 20s);
    // Writes from another thread while reading here: an echo must be drained as it comes back.
    std::string Exchange(const std::string& data);

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace kavrel::test
