#include "discovery/DiscoverySockets.h"

#include "discovery/LocalAddresses.h"

#include <array>
#include <chrono>
#include <cstring>

namespace kavrel {

namespace {

// Enough for a burst of replies from a thousand devices while the user-interface thread is busy.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
// Time spent reading per read notification; what is left waits for the next one, so input and painting
// get their turn. Rows added in one go are drawn once, so the longer the batch, the less drawing.
constexpr auto kReadBudget = std::chrono::milliseconds(50);

in_addr ToInAddr(const Ipv4Octets& octets) {
    in_addr address{};
    std::memcpy(&address, octets.data(), octets.size());
    return address;
}

Ipv4Octets ToOctets(in_addr address) {
    Ipv4Octets octets;
    std::memcpy(octets.data(), &address, octets.size());
    return octets;
}

class ReplyBatch {
public:
    explicit ReplyBatch(ReplyBatchObserver& observer) : observer_(observer) { observer_.OnRepliesBegin(); }
    ~ReplyBatch() { observer_.OnRepliesEnd(); }
    ReplyBatch(const ReplyBatch&) = delete;
    ReplyBatch& operator=(const ReplyBatch&) = delete;

private:
    ReplyBatchObserver& observer_;
};

} // namespace

void CClientSocket::OnReceive() {
    ReplyBatch batch(m_observer);
    const auto end = std::chrono::steady_clock::now() + kReadBudget;
    while (std::chrono::steady_clock::now() < end) {
        std::array<std::uint8_t, kMaxReplySize> buffer{};
        const auto datagram = ReceiveFrom(buffer);
        if (!datagram)
            return;
        if (datagram->dropped)
            continue;
        const std::span<const std::uint8_t> bytes(buffer.data(), datagram->size);
        if (m_protocol == DiscoveryProtocol::Ti)
            m_discovery.OnTiReply(bytes, ToOctets(datagram->sender));
        else
            m_discovery.OnLantronixReply(bytes, ToOctets(datagram->sender));
    }
}

bool DiscoverySockets::Create() {
    const auto addresses = LocalIpv4Addresses();
    if (!addresses)
        return false;
    for (const Ipv4Octets& address : *addresses) {
        if (!TakesDiscoverySockets(address))
            continue;
        auto ti = std::make_unique<CClientSocket>(DiscoveryProtocol::Ti, m_discovery, m_observer);
        ti->Create(ToInAddr(address), kTiPort, kReceiveBuffer);
        m_arrSocketsTI.push_back(std::move(ti));
        auto lantronix = std::make_unique<CClientSocket>(DiscoveryProtocol::Lantronix, m_discovery, m_observer);
        lantronix->Create(ToInAddr(address), kLantronixPort, kReceiveBuffer);
        m_arrSocketsL.push_back(std::move(lantronix));
    }
    return true;
}

void DiscoverySockets::Search() {
    m_discovery.OnSearch();
    for (const SearchDatagram& request : SearchRequests(m_arrSocketsTI.size())) {
        auto& sockets = request.socket == DiscoveryProtocol::Ti ? m_arrSocketsTI : m_arrSocketsL;
        sockets[request.addressIndex]->SendTo(request.bytes, ToInAddr(request.destination), request.destinationPort);
    }
}

void DiscoverySockets::Close() noexcept {
    m_arrSocketsTI.clear();
    m_arrSocketsL.clear();
}

} // namespace kavrel
