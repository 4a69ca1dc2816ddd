#pragma once
// Turns discovery replies into device rows: one row per MAC address, added at the end, refreshed by
// later replies while its Link box is unticked, frozen while ticked, never removed.

#include "core/device_rows.h"
#include "core/status_texts.h"
#include "discovery/replies.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kavrel {

// Decodes a device name from the system's ANSI code page (the Win32 side's; tests pass their own).
using NameDecoder = std::function<std::wstring(std::string_view ansi)>;

inline constexpr wchar_t kLantronixName[] = L"Lantronix XPort";

class DeviceDiscovery {
public:
    // freePorts: the free port list; the row added at index n proposes entry n, or nothing past its end.
    DeviceDiscovery(DeviceRows& rows, std::vector<std::wstring> freePorts, NameDecoder decodeName);
    DeviceDiscovery(const DeviceDiscovery&) = delete;
    DeviceDiscovery& operator=(const DeviceDiscovery&) = delete;

    // One received datagram each, with its real length (at most kMaxReplySize: a longer receive was
    // truncated and must not get here, though it is rejected here too) and the sender's address.
    void OnTiReply(std::span<const std::uint8_t> datagram, const Ipv4Octets& sender);
    void OnLantronixReply(std::span<const std::uint8_t> datagram, const Ipv4Octets& sender);
    // A search starts: what Lantronix senders told of themselves before is forgotten.
    void OnSearch();

    // Replies come unasked from anyone on the LAN, so what they can make us hold is bounded: rows past
    // the cap are not listed, and the oldest half-known Lantronix sender is forgotten for a new one.
    static constexpr int kMaxRows = 4096;
    static constexpr std::size_t kMaxLantronixSenders = 1024;

    // The first row whose MAC Address is exactly mac, or the row count when none is.
    static int FindRowByMac(const DeviceRows& rows, const std::wstring& mac);

private:
    // What one Lantronix sender has told so far: its F7 and F9 replies come separately, in either order,
    // and may interleave with other devices' replies.
    struct LantronixSender {
        std::optional<MacAddress> mac;
        std::optional<std::uint16_t> tcpPort;
    };

    // name: a new row's Name; an existing row gets it too when refreshName is set.
    void Apply(const std::wstring& mac, const Ipv4Octets& sender, std::int32_t tcpPort, const std::wstring& name,
               bool refreshName);

    // FindRowByMac's answer without reading every row's MAC cell: a search of a thousand devices would
    // otherwise read half a million cells. Rebuilt whenever the list changed behind our back.
    int RowOf(const std::wstring& mac);
    void Reindex();

    DeviceRows& m_rows;
    std::vector<std::wstring> m_freePorts;
    NameDecoder m_decodeName;
    std::map<Ipv4Octets, LantronixSender> m_lantronixSenders;
    std::deque<Ipv4Octets> m_senderOrder; // oldest first
    std::unordered_map<std::wstring, int> m_rowByMac;
    int m_indexedRows = 0;
};

} // namespace kavrel
