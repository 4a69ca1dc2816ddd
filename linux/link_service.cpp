#include "linux/link_service.h"

#include "emulation/init_strings.h"
#include "linux/text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace kavrel::service {
namespace {

std::string Endpoint(const std::string& address, std::int64_t tcpPort) {
    return address + ":" + std::to_string(tcpPort);
}

std::string ReadLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::int32_t LinkNumber(int port) {
    return kFirstLinkNumber + port; // ports are unique, so their link numbers are too
}

} // namespace

LinkService::LinkService(std::string portDir, Log log) : m_portDir(std::move(portDir)), m_log(std::move(log)) {
    m_engine.StartEmulation();
}

LinkService::~LinkService() {
    Shutdown();
}

void LinkService::Say(Level level, const Link& link, const std::string& what) const {
    m_log(level, "COM" + std::to_string(link.config.port) + " " + link.config.mac + " " + what);
}

void LinkService::Apply(const std::vector<LinkConfig>& links) {
    std::map<std::string, const LinkConfig*> wanted;
    for (const LinkConfig& link : links)
        wanted.emplace(link.mac, &link);
    std::vector<std::string> gone;
    for (const auto& [mac, link] : m_links) {
        const auto it = wanted.find(mac);
        if (it == wanted.end() || !it->second->SameLink(link.config))
            gone.push_back(mac);
    }
    for (const std::string& mac : gone)
        RemoveLink(mac);
    for (const LinkConfig& link : links)
        if (!m_links.count(link.mac))
            AddLink(link);
}

LinkService::Port* LinkService::OpenPort(int number, const LineSettings& line) {
    if (auto it = m_ports.find(number); it != m_ports.end())
        return &it->second;
    const std::wstring name = L"COM" + std::to_wstring(number);
    Port port;
    const auto connector = m_engine.CreateDevice(kConnectorType, Utf8(ConnectorInit(name)));
    if (!connector) {
        m_log(Level::Error, Utf8(name) + " cannot be made in " + m_portDir +
                                " (the folder is not writable, or another program holds the port)");
        return nullptr;
    }
    const auto splitter =
        m_engine.CreateDevice(kSplitterType, Utf8(SplitterInit(LinkNumber(number), name, LineParams(line))));
    if (!splitter) {
        m_engine.DestroyDevice(*connector);
        m_log(Level::Error, Utf8(name) + ": the engine refused its splitter");
        return nullptr;
    }
    port.connector = *connector;
    port.splitter = *splitter;
    port.tty = ReadLink(m_portDir + "/" + Utf8(name));
    m_log(Level::Info, Utf8(name) + " ready at " + m_portDir + "/" + Utf8(name) + " (" + port.tty + ")");
    return &m_ports.emplace(number, port).first->second;
}

void LinkService::ReleasePort(int number) {
    const auto it = m_ports.find(number);
    if (it == m_ports.end() || --it->second.users > 0)
        return;
    m_engine.DestroyDevice(it->second.splitter);
    m_engine.DestroyDevice(it->second.connector);
    m_ports.erase(it);
    m_log(Level::Info, "COM" + std::to_string(number) + " removed");
}

bool LinkService::AddLink(const LinkConfig& config) {
    Port* port = OpenPort(config.port, config.line);
    if (!port)
        return false;
    ++port->users;
    Link added;
    added.config = config;
    Link& link = m_links.emplace(config.mac, std::move(added)).first->second;
    Say(Level::Info, link, "linked");
    if (!config.path.empty()) {
        // Published under a temporary name first, so the rename replaces a stale link in one step.
        const std::string temporary = config.path + ".kavrel-new";
        ::unlink(temporary.c_str());
        if (::symlink(port->tty.c_str(), temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), config.path.c_str()) != 0) {
            Say(Level::Warning, link, "cannot make " + config.path + ": " + std::strerror(errno));
            ::unlink(temporary.c_str());
        }
    }
    if (!config.address.empty())
        Target(link, config.address, *config.tcpPort);
    else if (const auto it = m_known.find(config.mac); it != m_known.end())
        Target(link, it->second.ip, it->second.tcpPort);
    return true;
}

void LinkService::RemoveLink(const std::string& mac) {
    const auto it = m_links.find(mac);
    if (it == m_links.end())
        return;
    Link& link = it->second;
    DropClient(link);
    const auto port = m_ports.find(link.config.port);
    if (!link.config.path.empty() && port != m_ports.end() && ReadLink(link.config.path) == port->second.tty)
        ::unlink(link.config.path.c_str());
    Say(Level::Info, link, "unlinked");
    const int number = link.config.port;
    m_links.erase(it);
    ReleasePort(number);
}

void LinkService::OnDevices(const std::vector<FoundDevice>& devices) {
    for (const FoundDevice& device : devices) {
        m_known[device.mac] = device;
        const auto it = m_links.find(device.mac);
        if (it != m_links.end() && it->second.config.address.empty())
            Target(it->second, device.ip, it->second.config.tcpPort.value_or(device.tcpPort));
    }
}

void LinkService::Target(Link& link, const std::string& address, std::int64_t tcpPort) {
    if (link.client && link.address == address && link.tcpPort == tcpPort)
        return;
    const std::string to = Endpoint(address, tcpPort);
    if (link.client) {
        Say(Level::Info, link, "moved from " + Endpoint(link.address, link.tcpPort) + " to " + to);
        DropClient(link);
    } else if (link.config.address.empty()) {
        Say(Level::Info, link, "found at " + to);
    }
    link.address = address;
    link.tcpPort = tcpPort;
    const std::wstring init =
        TcpClientInit(Wide(address), std::to_wstring(tcpPort), LinkNumber(link.config.port), link.config.rfc2217);
    link.client = m_engine.CreateDevice(kTcpClientType, Utf8(init));
    if (!link.client)
        Say(Level::Error, link, "cannot connect to " + to + ": the engine refused it");
}

void LinkService::DropClient(Link& link) {
    if (!link.client)
        return;
    if (const auto info = m_engine.Info(*link.client)) {
        link.bytesTo += info->bytesToPeer;
        link.bytesFrom += info->bytesFromPeer;
    }
    m_engine.DestroyDevice(*link.client);
    link.client.reset();
    if (link.connected)
        Say(Level::Info, link, "disconnected from " + Endpoint(link.address, link.tcpPort));
    link.connected = false;
}

void LinkService::Poll() {
    for (auto& [mac, link] : m_links) {
        const auto info = link.client ? m_engine.Info(*link.client) : std::nullopt;
        const bool connected = info && info->ready;
        if (connected == link.connected)
            continue;
        link.connected = connected;
        const std::string where = Endpoint(link.address, link.tcpPort);
        if (connected)
            Say(Level::Info, link, "connected to " + where);
        else
            Say(Level::Warning, link, "lost " + where);
    }
}

ServiceStatus LinkService::Status() const {
    ServiceStatus status;
    status.pid = static_cast<long>(::getpid());
    status.portDir = m_portDir;
    for (const auto& [mac, link] : m_links) {
        LinkStatus entry;
        entry.port = link.config.port;
        entry.mac = mac;
        entry.address = link.address;
        entry.tcpPort = link.tcpPort;
        entry.path = link.config.path;
        entry.connected = link.connected;
        entry.bytesToDevice = link.bytesTo;
        entry.bytesFromDevice = link.bytesFrom;
        if (const auto info = link.client ? m_engine.Info(*link.client) : std::nullopt) {
            entry.bytesToDevice += info->bytesToPeer;
            entry.bytesFromDevice += info->bytesFromPeer;
        }
        status.links.push_back(std::move(entry));
    }
    std::stable_sort(status.links.begin(), status.links.end(),
                     [](const LinkStatus& a, const LinkStatus& b) { return a.port < b.port; });
    return status;
}

void LinkService::Shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    std::vector<std::string> macs;
    for (const auto& [mac, link] : m_links)
        macs.push_back(mac);
    for (const std::string& mac : macs)
        RemoveLink(mac);
    m_engine.StopEmulation();
    m_engine.DestroyAllDevices();
}

} // namespace kavrel::service
