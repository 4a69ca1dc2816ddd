#pragma once
// The links of the service over the engine: one pty per configured port, made at once and kept while
// its devices are away, and one TcpClient per link whose device is known, re-pointed when the device
// answers from another address. Every change of state is one log line.

#include "engine/engine.h"
#include "linux/config.h"
#include "linux/found_device.h"
#include "linux/service_status.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::service {

class LinkService {
public:
    enum class Level { Info, Warning, Error };
    using Log = std::function<void(Level, const std::string&)>;

    // The engine publishes its ports in $KAVREL_PORT_DIR, which the caller points at portDir first.
    LinkService(std::string portDir, Log log);
    LinkService(const LinkService&) = delete;
    LinkService& operator=(const LinkService&) = delete;
    ~LinkService();

    // Brings the links in line with links: a link whose settings did not change is left alone.
    void Apply(const std::vector<LinkConfig>& links);
    // What a discovery round has heard so far.
    void OnDevices(const std::vector<FoundDevice>& devices);
    // Reads every connection's state from the engine and logs the changes.
    void Poll();
    ServiceStatus Status() const;
    // Removes every port and closes every connection.
    void Shutdown();

private:
    struct Port {
        std::int32_t connector = -1;
        std::int32_t splitter = -1;
        int users = 0;
        std::string tty; // the pty's slave, which port_dir/COMn and every link's path point at
    };
    struct Link {
        LinkConfig config;
        std::string address; // where its TcpClient points; empty while the device is not known
        std::int64_t tcpPort = 0;
        std::optional<std::int32_t> client;
        bool connected = false;
        std::uint64_t bytesTo = 0; // counted by TcpClients already replaced
        std::uint64_t bytesFrom = 0;
    };

    bool AddLink(const LinkConfig& config);
    void RemoveLink(const std::string& mac);
    Port* OpenPort(int number, const LineSettings& line);
    void ReleasePort(int number);
    // Points the link's TcpClient at address:tcpPort, replacing one pointed elsewhere.
    void Target(Link& link, const std::string& address, std::int64_t tcpPort);
    void DropClient(Link& link);
    void Say(Level level, const Link& link, const std::string& what) const;

    std::string m_portDir;
    Log m_log;
    engine::Engine m_engine;
    std::map<int, Port> m_ports;
    std::map<std::string, Link> m_links;        // by MAC
    std::map<std::string, FoundDevice> m_known; // every device heard, by MAC, for links added later
    bool m_shutDown = false;
};

} // namespace kavrel::service
