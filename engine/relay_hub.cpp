#include "engine/relay_hub.h"

#include "engine/tcp_client.h"

#include <algorithm>

namespace kavrel::engine {
namespace {
constexpr std::size_t kPortReadSize = 16 * 1024;
// A port that fails to read (not a program closing it: that is no error here) is tried again after this.
constexpr auto kPortRetryDelay = std::chrono::milliseconds(250);
} // namespace

void RelayHub::SetPort(PortEndpoint* port) {
    if (port == port_ || closed_) {
        return;
    }
    if (port_) {
        port_->Cancel();
    }
    port_ = port;
    ++generation_;
    reading_ = false;
    retrying_ = false;
    retryTimer_.cancel();
    ReleasePending();
    MaybeReadPort();
}

void RelayHub::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (port_) {
        port_->Cancel();
    }
    port_ = nullptr;
    ++generation_;
    retryTimer_.cancel();
    clients_.clear();
    pending_.clear();
    writing_ = false;
}

// Clients waiting for their bytes to reach the old port read on; their bytes go to the new port or nowhere.
// The write in flight, if any, resumes its client when it completes.
void RelayHub::ReleasePending() {
    auto pending = std::move(pending_);
    pending_.clear();
    writing_ = false;
    for (auto& p : pending) {
        p.resume();
    }
}

void RelayHub::Join(TcpClient* client) {
    if (!closed_ && std::find(clients_.begin(), clients_.end(), client) == clients_.end()) {
        clients_.push_back(client);
        MaybeReadPort();
    }
}

void RelayHub::Leave(TcpClient* client) {
    std::erase(clients_, client);
    MaybeReadPort();
}

bool RelayHub::OthersMovedSince(const TcpClient* client, std::chrono::steady_clock::time_point time) const {
    return std::any_of(clients_.begin(), clients_.end(),
                       [&](TcpClient* other) { return other != client && other->ProgressAt() >= time; });
}

void RelayHub::MaybeReadPort() {
    if (closed_ || !port_ || reading_ || retrying_) {
        return;
    }
    bool room = clients_.empty() ||
                std::any_of(clients_.begin(), clients_.end(), [](TcpClient* c) { return !c->Backlogged(); });
    bool held = std::any_of(clients_.begin(), clients_.end(), [](TcpClient* c) { return c->Holding(); });
    if (room && !held) {
        ReadPort();
    }
}

void RelayHub::ReadPort() {
    reading_ = true;
    // The read owns its buffer (a cancelled overlapped read may still fill it), uninitialised: it is only
    // ever read as far as the port filled it.
    auto buffer = std::make_shared_for_overwrite<char[]>(kPortReadSize);
    port_->AsyncReadSome(asio::buffer(buffer.get(), kPortReadSize),
                         [self = shared_from_this(), generation = generation_,
                          buffer](std::error_code ec, std::size_t n) { self->OnPortRead(generation, buffer, ec, n); });
}

void RelayHub::OnPortRead(unsigned generation, const std::shared_ptr<char[]>& buffer, std::error_code ec,
                          std::size_t n) {
    if (closed_ || generation != generation_) {
        return;
    }
    reading_ = false;
    if (ec) {
        retrying_ = true;
        retryTimer_.expires_after(kPortRetryDelay);
        retryTimer_.async_wait([self = shared_from_this(), generation](std::error_code timerEc) {
            if (!timerEc && generation == self->generation_) {
                self->retrying_ = false;
                self->MaybeReadPort();
            }
        });
        return;
    }
    // Queued to every client for as long as the slowest needs: exactly the bytes, not the read's buffer.
    auto shared = std::make_shared<const Chunk>(buffer.get(), buffer.get() + n);
    // A client cut for being slow leaves the list while we walk it.
    auto clients = clients_;
    for (TcpClient* client : clients) {
        client->Send(shared);
    }
    MaybeReadPort();
}

void RelayHub::ToPort(std::shared_ptr<const Chunk> bytes, std::function<void()> resume) {
    if (closed_ || !port_) {
        resume();
        return;
    }
    pending_.push_back({std::move(bytes), std::move(resume)});
    if (!writing_) {
        WriteNext();
    }
}

void RelayHub::WriteNext() {
    if (pending_.empty()) {
        writing_ = false;
        return;
    }
    writing_ = true;
    auto write = std::make_shared<Pending>(std::move(pending_.front()));
    pending_.pop_front();
    port_->AsyncWriteAll(asio::buffer(*write->bytes),
                         [self = shared_from_this(), generation = generation_, write](std::error_code, std::size_t) {
                             // A failed write drops its bytes: the serial line had nobody listening.
                             if (self->closed_) {
                                 return;
                             }
                             if (generation == self->generation_) {
                                 self->WriteNext();
                             }
                             write->resume();
                         });
}

void RelayHub::ReportSettings(const LineReport& report) {
    if (closed_ || !settings_.Apply(report)) {
        return;
    }
    auto clients = clients_;
    for (TcpClient* client : clients) {
        client->SettingsChanged();
    }
}

} // namespace kavrel::engine
