#pragma once
// The device servers on the wire: two UDP sockets (the TI and the Lantronix port) on the any address
// answer for every device from that device's own address; one TCP listener per device; a control socket.

#include "tools/devsim/device.h"
#include "tools/devsim/fd.h"
#include "tools/devsim/reply_builder.h"

#include <netinet/in.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace devsim {

struct Options {
    std::vector<Device> devices;
    std::string logPath;     // empty: stdout
    std::string controlPath; // empty: no control socket
    std::uint16_t tiPort = 23;
    std::uint16_t lantronixPort = 30718;
    unsigned seed = 1;
};

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds every socket; false with a reason when one cannot be bound.
    bool Start(std::string& error);
    // Serves until "quit" on the control socket or SIGINT/SIGTERM. Returns the exit code.
    int Run();
    std::size_t DeviceCount() const { return m_devices.size(); }

private:
    using Clock = std::chrono::steady_clock;

    struct DeviceState {
        Device device;
        Fd listener;
        bool refusing = false;
    };
    struct Connection {
        std::size_t device;
        std::string pending; // echoed bytes not yet written
    };
    struct Datagram {
        std::int64_t receivedNs;
        bool onTiPort;
        sockaddr_in from;
        in_addr to;
        std::vector<std::uint8_t> bytes;
    };
    struct PendingSend {
        bool tiPort;
        sockaddr_in to;
        std::array<std::uint8_t, 4> from;
        Bytes bytes;
    };

    bool OpenUdp(std::uint16_t port, Fd& fd, std::string& error);
    bool Listen(DeviceState& state, std::string& error);
    void ReceiveDatagrams();
    void HandleDatagram(const Datagram& datagram);
    void Answer(std::size_t device, Request request, const Datagram& datagram);
    void Send(const PendingSend& send);
    void SendDue();
    void Accept(std::size_t device);
    void ServeConnection(int fd, short events);
    void CloseConnection(int fd, const char* why);
    void AcceptControl();
    void ServeControl(int fd);
    std::string Command(const std::string& line);
    std::string Move(const std::string& arguments);
    std::vector<std::size_t> FindDevices(const std::string& key) const;
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    Options m_options;
    std::vector<DeviceState> m_devices;
    std::multimap<std::uint32_t, std::size_t> m_byAddress; // network order address -> device
    Fd m_udpTi, m_udpLantronix, m_control, m_signals;
    std::map<int, Fd> m_controlClients;
    std::map<int, std::string> m_controlInput;
    std::map<int, Fd> m_connectionFds;
    std::map<int, Connection> m_connections;
    std::multimap<Clock::time_point, PendingSend> m_due;
    std::mt19937 m_random;
    std::FILE* m_log = nullptr;
    bool m_quit = false;
};

} // namespace devsim
