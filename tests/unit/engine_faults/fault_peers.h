#pragma once
// Peers for the fault tests that test_peers.h has no form of: a device server that stops reading, and
// streaming ends that check a counter pattern without holding the whole transfer in memory.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kavrel::test {

// Byte i of the counter pattern: the little-endian 32-bit counters 0, 1, 2, ... one after another, so a
// lost, repeated or reordered byte shows at its offset.
void FillCounter(std::uint8_t* out, std::uint64_t offset, std::size_t n);

// Sends `count` pattern bytes to fd and checks that `count` pattern bytes come back from it, both at once.
// fd is non-blocking; both directions share one poll loop.
struct StreamResult {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    std::int64_t firstBadOffset = -1; // -1: every byte as expected
};
StreamResult StreamCounter(int fd, std::uint64_t sendCount, std::uint64_t receiveCount, int timeoutSeconds);

// A device server on 127.0.0.1 that can stop reading its connections while keeping them open.
class StallServer {
public:
    StallServer();
    StallServer(const StallServer&) = delete;
    StallServer& operator=(const StallServer&) = delete;
    ~StallServer();

    std::uint16_t Port() const { return port_; }
    void SetReading(bool reading) { reading_ = reading; }
    int Accepted() const { return accepted_; }
    // What the newest connection has delivered so far.
    std::string NewestReceived() const;

private:
    void Run();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> reading_{true};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::vector<int> conns_;
    std::string newest_;
    std::thread thread_;
};

// A device server on 127.0.0.1 that streams the counter pattern both ways with one connection.
class CounterServer {
public:
    CounterServer(std::uint64_t sendCount, std::uint64_t receiveCount);
    CounterServer(const CounterServer&) = delete;
    CounterServer& operator=(const CounterServer&) = delete;
    ~CounterServer();

    std::uint16_t Port() const { return port_; }
    StreamResult Wait();

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    StreamResult result_;
    std::thread thread_;
};

} // namespace kavrel::test
