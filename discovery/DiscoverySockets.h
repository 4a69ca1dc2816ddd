#pragma once
// The discovery sockets: per local IPv4 address one TI socket (UDP port 23) and one Lantronix socket
// (UDP port 30718). A search broadcasts from them; each socket reads its own replies and hands them to
// the reply rules, which write the device rows.

#include "discovery/device_discovery.h"
#include "framework/AsyncUdpSocket.h"

#include <memory>
#include <vector>

namespace kavrel {

// Told around the replies of one read notification, so that rows added in one go are drawn once.
class ReplyBatchObserver {
public:
    virtual ~ReplyBatchObserver() = default;
    virtual void OnRepliesBegin() = 0;
    virtual void OnRepliesEnd() = 0;
};

class CClientSocket : public win::AsyncUdpSocket {
public:
    CClientSocket(DiscoveryProtocol protocol, DeviceDiscovery& discovery, ReplyBatchObserver& observer) noexcept
        : m_protocol(protocol), m_discovery(discovery), m_observer(observer) {}

protected:
    void OnReceive() override;

private:
    DiscoveryProtocol m_protocol;
    DeviceDiscovery& m_discovery;
    ReplyBatchObserver& m_observer;
};

class DiscoverySockets {
public:
    DiscoverySockets(DeviceDiscovery& discovery, ReplyBatchObserver& observer) noexcept
        : m_discovery(discovery), m_observer(observer) {}

    // A socket that cannot be made or bound keeps its place, silent, so the two arrays stay paired by
    // address. False when the address table cannot be read.
    bool Create();
    // Broadcasts the search requests of both protocols from every address.
    void Search();
    void Close() noexcept;

private:
    DeviceDiscovery& m_discovery;
    ReplyBatchObserver& m_observer;
    std::vector<std::unique_ptr<CClientSocket>> m_arrSocketsTI;
    std::vector<std::unique_ptr<CClientSocket>> m_arrSocketsL;
};

} // namespace kavrel
