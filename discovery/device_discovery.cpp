#include "discovery/device_discovery.h"

#include <utility>

namespace kavrel {

DeviceDiscovery::DeviceDiscovery(DeviceRows& rows, std::vector<std::wstring> freePorts, NameDecoder decodeName)
    : m_rows(rows), m_freePorts(std::move(freePorts)), m_decodeName(std::move(decodeName)) {}

int DeviceDiscovery::FindRowByMac(const DeviceRows& rows, const std::wstring& mac) {
    int row = 0;
    while (row < rows.RowCount() && rows.CellText(row, kColumnMacAddress) != mac)
        ++row;
    return row;
}

void DeviceDiscovery::Reindex() {
    m_rowByMac.clear();
    m_indexedRows = m_rows.RowCount();
    for (int row = 0; row < m_indexedRows; ++row)
        m_rowByMac.emplace(m_rows.CellText(row, kColumnMacAddress), row); // the first row of a MAC wins
}

int DeviceDiscovery::RowOf(const std::wstring& mac) {
    if (m_rows.RowCount() != m_indexedRows)
        Reindex();
    auto it = m_rowByMac.find(mac);
    if (it == m_rowByMac.end())
        return m_indexedRows;
    if (m_rows.CellText(it->second, kColumnMacAddress) == mac)
        return it->second;
    Reindex();
    it = m_rowByMac.find(mac);
    return it == m_rowByMac.end() ? m_indexedRows : it->second;
}

void DeviceDiscovery::OnTiReply(std::span<const std::uint8_t> datagram, const Ipv4Octets& sender) {
    const auto reply = ParseTiReply(datagram);
    if (!reply)
        return;
    const std::wstring name = m_decodeName ? m_decodeName(reply->name) : std::wstring();
    Apply(MacText(reply->mac), sender, reply->tcpPort, name, true);
}

void DeviceDiscovery::OnLantronixReply(std::span<const std::uint8_t> datagram, const Ipv4Octets& sender) {
    const auto reply = ParseLantronixReply(datagram);
    if (!reply)
        return;
    auto [entry, added] = m_lantronixSenders.try_emplace(sender);
    if (added) {
        m_senderOrder.push_back(sender);
        if (m_senderOrder.size() > kMaxLantronixSenders) {
            m_lantronixSenders.erase(m_senderOrder.front());
            m_senderOrder.pop_front();
        }
    }
    LantronixSender& known = entry->second;
    if (reply->type == LantronixReply::Type::F7)
        known.mac = reply->mac;
    else
        known.tcpPort = reply->tcpPort;
    if (known.mac && known.tcpPort)
        Apply(MacText(*known.mac), sender, *known.tcpPort, kLantronixName, false);
}

void DeviceDiscovery::OnSearch() {
    m_lantronixSenders.clear();
    m_senderOrder.clear();
}

void DeviceDiscovery::Apply(const std::wstring& mac, const Ipv4Octets& sender, std::int32_t tcpPort,
                            const std::wstring& name, bool refreshName) {
    const int row = RowOf(mac);
    const std::wstring address = Ipv4Text(sender);
    const std::wstring port = std::to_wstring(tcpPort);
    if (row < m_rows.RowCount()) {
        if (m_rows.IsChecked(row))
            return; // linked: the engine holds a TcpClient made from these cells
        m_rows.SetCellText(row, kColumnIpAddress, address);
        m_rows.SetCellText(row, kColumnTcpPort, port);
        if (refreshName)
            m_rows.SetCellText(row, kColumnName, name);
        return;
    }
    if (m_rows.RowCount() >= kMaxRows)
        return;
    // Rows are only ever appended, so the new row's index is the row count it was found missing at.
    const int added = m_rows.AppendRow();
    const auto index = static_cast<std::size_t>(row);
    // More devices than free names: the device is still listed, without a proposed COM port.
    m_rows.SetCellText(added, kColumnComPort, index < m_freePorts.size() ? m_freePorts[index] : std::wstring());
    m_rows.SetCellText(added, kColumnIpAddress, address);
    m_rows.SetCellText(added, kColumnTcpPort, port);
    m_rows.SetCellText(added, kColumnMacAddress, mac);
    m_rows.SetCellText(added, kColumnName, name);
    m_rows.SetCellText(added, kColumnStatus, kStatusDisable);
    m_rows.SetChecked(added, false);
    m_rowByMac.emplace(mac, added);
    m_indexedRows = m_rows.RowCount();
}

} // namespace kavrel
