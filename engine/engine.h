#pragma once
// The engine behind the eight C calls: the device registry, the ports, and while emulation runs the relay
// hubs and TcpClients on one I/O thread. Called from one thread at a time (the C boundary serialises);
// everything the I/O thread touches is changed only on the I/O thread, the caller waiting the short while.

#include "engine/device_registry.h"
#include "engine/port_endpoint.h"
#include "engine/relay_hub.h"
#include "engine/tcp_client.h"

#include <asio.hpp>

#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

namespace kavrel::engine {

struct DeviceInfo {
    std::int32_t type = 0;   // 1 Connector, 2 Splitter, 3 TcpClient
    std::int32_t number = 0; // COM number, link number, or the TcpClient's link number
    std::int32_t port = 0;   // the Splitter's COM number, the TcpClient's TCP port
    bool ready = false;
    // A TcpClient's bytes each way since it was made, across reconnections.
    std::uint64_t bytesToPeer = 0;
    std::uint64_t bytesFromPeer = 0;
};

class Engine {
public:
    Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    std::optional<std::int32_t> CreateDevice(std::string_view type, std::string_view init);
    bool DestroyDevice(std::int32_t id);
    void DestroyAllDevices();
    std::optional<DeviceInfo> Info(std::int32_t id) const;
    bool StartEmulation();
    bool StopEmulation();

private:
    template <class F> void OnIoThread(F&& work);
    void RunIo();
    // Brings the running hubs and clients in line with the registry: called after every change.
    void Reconcile();
    void StartClient(std::int32_t id, const TcpClientConfig& config);
    void CloseRuntime();
    PortEndpoint* PortFor(int comNumber) const;

    // Declared first so that it outlives every object bound to it.
    asio::io_context io_;
    DeviceRegistry registry_;
    std::map<std::int32_t, std::unique_ptr<PortEndpoint>> ports_; // by Connector id
    std::map<std::int32_t, std::shared_ptr<RelayHub>> hubs_;      // by Splitter id
    std::map<std::int32_t, std::shared_ptr<TcpClient>> clients_;  // by TcpClient id
    bool running_ = false;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
    std::future<void> ioDone_;
};

} // namespace kavrel::engine
