#pragma once
// One TcpClient device at work: a TCP connection to a device server on its Splitter's relay hub,
// reconnected after every loss until closed. Lives on the I/O thread; Connected() may be read from any.

#include "engine/relay_hub.h"
#include "engine/telnet_codec.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace kavrel::engine {

class TcpClient : public std::enable_shared_from_this<TcpClient> {
public:
    // Bytes from the port queued for one connection beyond this cut it once its peer has taken nothing for
    // kStallTime while another client's peer went on taking bytes: it stopped reading, and holding more
    // would let it stall the port for the others. When every peer pauses (or it is alone) nobody is cut. A
    // peer that still reads is only slow: it may fall behind up to kHoldQueued, where the port waits for it.
    static constexpr std::size_t kMaxQueued = 1024 * 1024;
    static constexpr std::size_t kHoldQueued = 2 * kMaxQueued;
    static constexpr std::chrono::milliseconds kStallTime{100};
    // Above this the client counts as behind: the hub stops reading the port if every client is.
    static constexpr std::size_t kBacklog = 256 * 1024;

    // How long a device server may take to answer the COM-PORT-OPTION offer before the link carries data
    // as plain Telnet.
    static constexpr std::chrono::seconds kNegotiationTimeout{3};

    // rfc2217: speak Telnet with COM port control instead of raw TCP.
    TcpClient(asio::io_context& io, std::shared_ptr<RelayHub> hub, asio::ip::tcp::endpoint peer,
              std::chrono::seconds connectTimeout, bool rfc2217 = false);
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    void Start();
    void Close();
    bool Connected() const { return connected_.load(); }
    std::uint64_t BytesSent() const { return bytesSent_.load(); }
    std::uint64_t BytesReceived() const { return bytesReceived_.load(); }
    bool Backlogged() const { return conn_ && conn_->queued >= kBacklog; }
    // Far behind but still taking bytes: the hub waits for it.
    bool Holding() const { return conn_ && conn_->queued >= kHoldQueued; }
    const RelayHub* Hub() const { return hub_.get(); }
    // When its peer was last seen to take bytes (asked now); never while it is not connected.
    std::chrono::steady_clock::time_point ProgressAt();
    // Bytes from the port; queued while connected, dropped otherwise, as on a line with nothing attached.
    void Send(const std::shared_ptr<const Chunk>& chunk);
    // The hub's line settings changed.
    void SettingsChanged();

private:
    // One connection attempt; completions of an earlier one are told apart by their pointer.
    struct Connection {
        explicit Connection(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        std::deque<std::shared_ptr<const Chunk>> queue;
        std::size_t queued = 0;
        std::size_t inFlight = 0; // chunks at the front of the queue being written
        std::vector<asio::const_buffer> gather;
        // The peer's progress: what it had acknowledged when last asked, and since when.
        std::uint64_t acked = 0;
        bool ackedKnown = false;
        std::size_t sinceNoted = 0; // bytes queued since it was last asked
        std::chrono::steady_clock::time_point progressAt;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    void Connect();
    void OnConnect(const ConnectionPtr& conn, std::error_code ec);
    void Read(const ConnectionPtr& conn);
    void Write(const ConnectionPtr& conn);
    void Drop(const ConnectionPtr& conn);
    // The peer's progress by the system's count of acknowledged bytes; where the system does not say, write
    // completions stand in for it.
    void NoteProgress(const ConnectionPtr& conn);
    // Whether the peer has taken nothing for kStallTime while another took bytes for half of that or more.
    bool Stalled(const ConnectionPtr& conn);
    void WatchStall(const ConnectionPtr& conn);
    void Enqueue(const std::shared_ptr<const Chunk>& chunk);
    void Ready();
    void StartTelnet(const ConnectionPtr& conn);
    void OnTelnetRead(const ConnectionPtr& conn, const char* bytes, std::size_t n);
    void FlushTelnet();
    void ScheduleConnect();
    bool Current(const ConnectionPtr& conn) const { return !closed_ && conn == conn_; }

    asio::io_context& io_;
    std::shared_ptr<RelayHub> hub_;
    asio::ip::tcp::endpoint peer_;
    std::chrono::seconds connectTimeout_;
    asio::steady_timer retryTimer_;
    asio::steady_timer connectTimer_;
    asio::steady_timer stallTimer_; // runs only while the client is beyond kMaxQueued
    asio::steady_timer negotiationTimer_;
    std::unique_ptr<TelnetCodec> telnet_; // null on a raw link
    bool refusalLogged_ = false;
    ConnectionPtr conn_;
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> bytesSent_{0};
    std::atomic<std::uint64_t> bytesReceived_{0};
    bool closed_ = false;
    std::chrono::milliseconds nextDelay_{0};
    std::chrono::steady_clock::time_point connectedAt_;
};

} // namespace kavrel::engine
