#pragma once
// One TcpClient device at work: a TCP connection to a device server on its Splitter's relay hub,
// reconnected after every loss until closed. Lives on the I/O thread; Connected() may be read from any.

#include "engine/relay_hub.h"
#include "engine/telnet_codec.h"

#include <asio.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace kavrel::engine {

class TcpClient : public std::enable_shared_from_this<TcpClient> {
public:
    // Bytes from the port queued for one connection beyond this cut it: it cannot keep up, and holding more
    // would let one slow peer stall the port for the others.
    static constexpr std::size_t kMaxQueued = 1024 * 1024;
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
    bool Backlogged() const { return conn_ && conn_->queued >= kBacklog; }
    const RelayHub* Hub() const { return hub_.get(); }
    // Bytes from the port; queued while connected, dropped otherwise, as on a line with nothing attached.
    void Send(const std::shared_ptr<const Chunk>& chunk);
    // The hub's line settings changed.
    void SettingsChanged();

private:
    // One connection attempt; completions of an earlier one are told apart by their pointer.
    struct Connection {
        explicit Connection(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        std::array<char, 16 * 1024> readBuffer{};
        std::deque<std::shared_ptr<const Chunk>> queue;
        std::size_t queued = 0;
        std::size_t inFlight = 0; // chunks at the front of the queue being written
        std::vector<asio::const_buffer> gather;
        std::vector<char> decoded; // Telnet: the data of the last read, until the port has taken it
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    void Connect();
    void OnConnect(const ConnectionPtr& conn, std::error_code ec);
    void Read(const ConnectionPtr& conn);
    void Write(const ConnectionPtr& conn);
    void Drop(const ConnectionPtr& conn);
    void Enqueue(const std::shared_ptr<const Chunk>& chunk);
    void Ready();
    void StartTelnet(const ConnectionPtr& conn);
    void OnTelnetRead(const ConnectionPtr& conn, std::size_t n);
    void FlushTelnet();
    void ScheduleConnect();
    bool Current(const ConnectionPtr& conn) const { return !closed_ && conn == conn_; }

    asio::io_context& io_;
    std::shared_ptr<RelayHub> hub_;
    asio::ip::tcp::endpoint peer_;
    std::chrono::seconds connectTimeout_;
    asio::steady_timer retryTimer_;
    asio::steady_timer connectTimer_;
    asio::steady_timer negotiationTimer_;
    std::unique_ptr<TelnetCodec> telnet_; // null on a raw link
    bool refusalLogged_ = false;
    ConnectionPtr conn_;
    std::atomic<bool> connected_{false};
    bool closed_ = false;
    std::chrono::milliseconds nextDelay_{0};
    std::chrono::steady_clock::time_point connectedAt_;
};

} // namespace kavrel::engine
