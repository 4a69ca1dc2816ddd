#include "engine/tcp_client.h"

#include "engine/engine_log.h"
#include "engine/keep_alive.h"
#include "engine/peer_progress.h"

#include <algorithm>
#include <array>

namespace kavrel::engine {
namespace {
constexpr std::size_t kReadSize = 16 * 1024;
constexpr std::size_t kNoteEvery = 256 * 1024;
constexpr std::chrono::milliseconds kFirstBackoff{250};
// The longest wait between attempts, so that a device server that comes back is joined again within about
// a second, however long it was away.
constexpr std::chrono::milliseconds kMaxBackoff{1000};
// A connection that lasted this long was a real one: the next loss retries at once again.
constexpr auto kStableConnection = std::chrono::seconds(1);
} // namespace

TcpClient::TcpClient(asio::io_context& io, std::shared_ptr<RelayHub> hub, asio::ip::tcp::endpoint peer,
                     std::chrono::seconds connectTimeout, bool rfc2217)
    : io_(io), hub_(std::move(hub)), peer_(peer),
      // Without a bound, an unreachable host would hold an attempt for the system's SYN timeout, minutes.
      connectTimeout_(connectTimeout.count() > 0 ? connectTimeout : std::chrono::seconds(10)), retryTimer_(io),
      connectTimer_(io), stallTimer_(io), negotiationTimer_(io),
      telnet_(rfc2217 ? std::make_unique<TelnetCodec>() : nullptr) {}

void TcpClient::Start() {
    Connect();
}

void TcpClient::Close() {
    closed_ = true;
    connected_ = false;
    retryTimer_.cancel();
    connectTimer_.cancel();
    stallTimer_.cancel();
    negotiationTimer_.cancel();
    if (conn_) {
        asio::error_code ignored;
        conn_->socket.close(ignored);
        conn_.reset();
    }
    hub_->Leave(this);
}

void TcpClient::Connect() {
    auto conn = std::make_shared<Connection>(io_);
    conn_ = conn;
    connectTimer_.expires_after(connectTimeout_);
    connectTimer_.async_wait([self = shared_from_this(), conn](std::error_code ec) {
        if (!ec && self->Current(conn) && !self->connected_) {
            self->Drop(conn);
        }
    });
    conn->socket.async_connect(peer_,
                               [self = shared_from_this(), conn](std::error_code ec) { self->OnConnect(conn, ec); });
}

void TcpClient::OnConnect(const ConnectionPtr& conn, std::error_code ec) {
    if (!Current(conn)) {
        return;
    }
    if (ec) {
        Drop(conn);
        return;
    }
    connectTimer_.cancel();
    asio::error_code ignored;
    conn->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    conn->socket.non_blocking(true, ignored);
    TuneKeepAlive(conn->socket);
    connectedAt_ = std::chrono::steady_clock::now();
    conn->progressAt = connectedAt_;
    if (telnet_) {
        StartTelnet(conn);
    } else {
        Ready();
    }
    Read(conn);
}

void TcpClient::Ready() {
    if (!connected_) {
        connected_ = true;
        hub_->Join(this);
    }
}

// Waits for bytes before taking memory for them: an idle connection holds no buffer, and the bytes of each
// read are handed over in a block of their own that lives as long as the port's write of them.
void TcpClient::Read(const ConnectionPtr& conn) {
    conn->socket.async_wait(asio::socket_base::wait_read, [self = shared_from_this(), conn](std::error_code ec) {
        if (!self->Current(conn)) {
            return;
        }
        thread_local std::array<char, kReadSize> scratch;
        std::size_t n = ec ? 0 : conn->socket.read_some(asio::buffer(scratch), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            self->Read(conn);
            return;
        }
        if (ec) {
            self->Drop(conn);
            return;
        }
        self->bytesReceived_ += n;
        if (self->telnet_) {
            self->OnTelnetRead(conn, scratch.data(), n);
            return;
        }
        auto chunk = std::make_shared<const Chunk>(scratch.data(), scratch.data() + n);
        // Read on only when the port has taken these bytes: back-pressure reaches the peer through TCP.
        self->hub_->ToPort(std::move(chunk), [self, conn] {
            if (self->Current(conn)) {
                self->Read(conn);
            }
        });
    });
}

void TcpClient::Send(const std::shared_ptr<const Chunk>& chunk) {
    if (!connected_ || !conn_ || chunk->empty()) {
        return;
    }
    if (telnet_ && TelnetCodec::NeedsEscape(chunk->data(), chunk->size())) {
        auto escaped = std::make_shared<Chunk>();
        TelnetCodec::Escape(chunk->data(), chunk->size(), *escaped);
        Enqueue(escaped);
        return;
    }
    Enqueue(chunk);
}

void TcpClient::Enqueue(const std::shared_ptr<const Chunk>& chunk) {
    bool wasBehind = conn_->queued >= kMaxQueued;
    if (conn_->queued + chunk->size() > kMaxQueued && Stalled(conn_)) {
        Drop(conn_); // cut rather than skip bytes in the middle of its stream
        return;
    }
    // Beyond kHoldQueued by at most the chunks of reads already under way: the hub reads no more meanwhile.
    conn_->queue.push_back(chunk);
    conn_->queued += chunk->size();
    // Asked every so many bytes, the peer's progress is known to within milliseconds when it matters: a
    // peer that stopped reading stopped acknowledging while the kernel still took our bytes.
    if ((conn_->sinceNoted += chunk->size()) >= kNoteEvery) {
        conn_->sinceNoted = 0;
        NoteProgress(conn_);
    }
    if (conn_->inFlight == 0) {
        Write(conn_);
    }
    if (!wasBehind && conn_->queued >= kMaxQueued) {
        WatchStall(conn_);
    }
}

void TcpClient::NoteProgress(const ConnectionPtr& conn) {
    auto acked = BytesAcknowledged(conn->socket);
    conn->ackedKnown = acked.has_value();
    if (acked && *acked != conn->acked) {
        conn->acked = *acked;
        conn->progressAt = std::chrono::steady_clock::now();
    }
}

bool TcpClient::Stalled(const ConnectionPtr& conn) {
    NoteProgress(conn);
    // The margin keeps apart peers read in turn by one busy program, seen to move a few ms apart.
    return std::chrono::steady_clock::now() - conn->progressAt >= kStallTime &&
           hub_->OthersMovedSince(this, conn->progressAt + kStallTime / 2);
}

std::chrono::steady_clock::time_point TcpClient::ProgressAt() {
    if (!connected_ || !conn_) {
        return std::chrono::steady_clock::time_point::min();
    }
    NoteProgress(conn_);
    return conn_->progressAt;
}

// The port may be held or idle meanwhile, so nothing else would notice that the peer stopped: look again
// when it would have been still for kStallTime, and while every peer pauses, every so often.
void TcpClient::WatchStall(const ConnectionPtr& conn) {
    stallTimer_.expires_at(std::max(conn->progressAt + kStallTime, std::chrono::steady_clock::now() + kStallTime / 4));
    stallTimer_.async_wait([self = shared_from_this(), conn](std::error_code ec) {
        if (ec || !self->Current(conn) || conn->queued < kMaxQueued) {
            return;
        }
        if (self->Stalled(conn)) {
            self->Drop(conn);
        } else {
            self->WatchStall(conn);
        }
    });
}

void TcpClient::Write(const ConnectionPtr& conn) {
    // The port hands over a few KiB at a time; one send for everything waiting saves a syscall per chunk.
    constexpr std::size_t kMaxGather = 64;
    conn->gather.clear();
    for (std::size_t i = 0; i < conn->queue.size() && i < kMaxGather; ++i) {
        conn->gather.push_back(asio::buffer(*conn->queue[i]));
    }
    conn->inFlight = conn->gather.size();
    asio::async_write(conn->socket, conn->gather, [self = shared_from_this(), conn](std::error_code ec, std::size_t n) {
        if (!self->Current(conn)) {
            return;
        }
        if (ec) {
            self->Drop(conn);
            return;
        }
        self->bytesSent_ += n;
        bool wasBacklogged = self->Backlogged(), wasHolding = self->Holding();
        for (; conn->inFlight > 0; --conn->inFlight) {
            conn->queued -= conn->queue.front()->size();
            conn->queue.pop_front();
        }
        if (!conn->ackedKnown) {
            conn->progressAt = std::chrono::steady_clock::now(); // the best we know where the system says nothing
        }
        if (!conn->queue.empty()) {
            self->Write(conn);
        }
        if ((wasBacklogged && !self->Backlogged()) || (wasHolding && !self->Holding())) {
            self->hub_->ClientDrained();
        }
    });
}

void TcpClient::Drop(const ConnectionPtr& conn) {
    if (!Current(conn)) {
        return;
    }
    asio::error_code ignored;
    conn->socket.close(ignored);
    conn_.reset();
    connectTimer_.cancel();
    stallTimer_.cancel();
    negotiationTimer_.cancel();
    if (connected_ && std::chrono::steady_clock::now() - connectedAt_ >= kStableConnection) {
        nextDelay_ = std::chrono::milliseconds(0);
    }
    connected_ = false;
    hub_->Leave(this);
    ScheduleConnect();
}

void TcpClient::ScheduleConnect() {
    retryTimer_.expires_after(nextDelay_);
    nextDelay_ = nextDelay_.count() == 0 ? kFirstBackoff : std::min(nextDelay_ * 2, kMaxBackoff);
    retryTimer_.async_wait([self = shared_from_this()](std::error_code ec) {
        if (!ec && !self->closed_) {
            self->Connect();
        }
    });
}

// Settings go out before any data: the client joins the hub only once the server has answered the
// COM-PORT-OPTION offer, or failed to within the bound.
void TcpClient::StartTelnet(const ConnectionPtr& conn) {
    telnet_->Start();
    FlushTelnet();
    negotiationTimer_.expires_after(kNegotiationTimeout);
    negotiationTimer_.async_wait([self = shared_from_this(), conn](std::error_code ec) {
        if (!ec && self->Current(conn) && !self->connected_) {
            if (!std::exchange(self->refusalLogged_, true)) {
                EngineLog("no answer to COM-PORT-OPTION: carrying plain Telnet data");
            }
            self->Ready();
        }
    });
}

void TcpClient::OnTelnetRead(const ConnectionPtr& conn, const char* bytes, std::size_t n) {
    auto decoded = std::make_shared<Chunk>();
    bool understood = telnet_->Receive(bytes, n, *decoded);
    bool settled = false;
    for (const TelnetEvent& event : telnet_->TakeEvents()) {
        if (event.kind == TelnetEvent::Kind::ComPortAccepted) {
            telnet_->SendSettings(hub_->Settings());
            settled = true;
        } else if (event.kind == TelnetEvent::Kind::ComPortRefused) {
            if (!std::exchange(refusalLogged_, true)) {
                EngineLog("the device server refused COM-PORT-OPTION: carrying plain Telnet data");
            }
            settled = true;
        } else if (event.kind == TelnetEvent::Kind::Mismatch) {
            EngineLog("the device server answered COM port command " + std::to_string(event.command) + " with " +
                      std::to_string(event.value) + ", asked " + std::to_string(event.asked));
        }
    }
    FlushTelnet(); // the settings queued ahead of any data from the port
    if (!Current(conn)) {
        return; // cut while queueing the answers
    }
    if (settled) {
        Ready();
    }
    if (!understood) {
        EngineLog("the device server's Telnet stream cannot be understood: reconnecting");
        Drop(conn);
        return;
    }
    if (decoded->empty()) {
        Read(conn);
        return;
    }
    hub_->ToPort(std::move(decoded), [self = shared_from_this(), conn] {
        if (self->Current(conn)) {
            self->Read(conn);
        }
    });
}

void TcpClient::SettingsChanged() {
    if (telnet_ && conn_) {
        telnet_->SendSettings(hub_->Settings());
        FlushTelnet();
    }
}

void TcpClient::FlushTelnet() {
    std::string out = telnet_->TakeOutput();
    if (!out.empty() && conn_) {
        Enqueue(std::make_shared<Chunk>(out.begin(), out.end()));
    }
}

} // namespace kavrel::engine
