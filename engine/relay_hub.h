#pragma once
// One Splitter at work: joins its port to every connected TcpClient. Bytes from the port go to every
// client; bytes from any client go to the port, a client's next read only once its bytes are written, so a
// slow serial program pushes back through TCP instead of piling up here. The port is read only while some
// client has room (or none is connected): when all lag, the serial program waits, as under flow control;
// when one lags behind the others it is cut at its bound instead. Lives on the I/O thread.

#include "engine/line_settings.h"
#include "engine/port_endpoint.h"

#include <asio.hpp>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace kavrel::engine {

class TcpClient;
using Chunk = std::vector<char>;

class RelayHub : public std::enable_shared_from_this<RelayHub> {
public:
    explicit RelayHub(asio::io_context& io) : retryTimer_(io) {}
    RelayHub(const RelayHub&) = delete;
    RelayHub& operator=(const RelayHub&) = delete;

    // Null detaches: the port's Connector is gone, clients' bytes are dropped.
    void SetPort(PortEndpoint* port);
    PortEndpoint* Port() const { return port_; }
    void Close();

    void Join(TcpClient* client);
    void Leave(TcpClient* client);
    // Whether a client other than this one has had its bytes taken at or after the time.
    bool OthersMovedSince(const TcpClient* client, std::chrono::steady_clock::time_point time) const;
    // A client's queue went below the pause mark.
    void ClientDrained() { MaybeReadPort(); }
    // resume runs once the bytes are written or dropped. A write holds its bytes until its completion runs,
    // also after Close or a change of port: an overlapped write on Windows reads them until then.
    void ToPort(std::shared_ptr<const Chunk> bytes, std::function<void()> resume);

    // The link's line settings, which RFC 2217 clients carry to their device servers: the Splitter's,
    // overlaid with what the port reports; a change is passed to every joined client.
    const LineSettings& Settings() const { return settings_; }
    void SetSettings(const SerialParams& params) { settings_.params = params; }
    void ReportSettings(const LineReport& report);

private:
    struct Pending {
        std::shared_ptr<const Chunk> bytes;
        std::function<void()> resume;
    };

    void MaybeReadPort();
    void ReadPort();
    void OnPortRead(unsigned generation, const std::shared_ptr<char[]>& buffer, std::error_code ec, std::size_t n);
    void WriteNext();
    void ReleasePending();

    asio::steady_timer retryTimer_;
    PortEndpoint* port_ = nullptr;
    // Bumped whenever the port changes, so completions of the old port's operations are recognised.
    unsigned generation_ = 0;
    bool closed_ = false;
    bool reading_ = false;  // a read on the port is outstanding
    bool retrying_ = false; // waiting to read again after a failed read
    std::vector<TcpClient*> clients_;
    std::deque<Pending> pending_;
    bool writing_ = false;
    LineSettings settings_;
};

} // namespace kavrel::engine
