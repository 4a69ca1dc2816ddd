#include "engine/engine.h"

#include "engine/descriptor_limit.h"

#include <chrono>
#include <variant>

namespace kavrel::engine {
namespace {
// Stopping closes everything, after which the I/O thread runs out of work within milliseconds; this bound
// only guards against a completion that never comes.
constexpr auto kStopDrainTimeout = std::chrono::seconds(5);
} // namespace

Engine::Engine() {
    RaiseDescriptorLimit();
}

Engine::~Engine() {
    try {
        StopEmulation();
        DestroyAllDevices();
    } catch (...) {
        // Members close their handles on their own; nothing more to do at this point.
    }
}

template <class F> void Engine::OnIoThread(F&& work) {
    if (!thread_.joinable()) {
        work();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    asio::post(io_, [&] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

void Engine::RunIo() {
    for (;;) {
        try {
            io_.run();
            return;
        } catch (...) {
            // One failed completion must not end the relay of every other port.
        }
    }
}

std::optional<std::int32_t> Engine::CreateDevice(std::string_view type, std::string_view init) {
    std::optional<std::int32_t> result;
    OnIoThread([&] {
        auto id = registry_.Create(type, init);
        if (!id) {
            return;
        }
        const Device& device = *registry_.Find(*id);
        if (auto* connector = std::get_if<ConnectorConfig>(&device)) {
            // A Connector without its port would hold the COM number until the engine is released.
            std::unique_ptr<PortEndpoint> port;
            try {
                port = OpenPort(io_, connector->comNumber);
            } catch (...) {
            }
            if (!port) {
                registry_.Destroy(*id);
                return;
            }
            ports_.emplace(*id, std::move(port));
        } else if (auto* splitter = std::get_if<SplitterConfig>(&device)) {
            PortFor(splitter->comNumber)->Configure(splitter->params);
        }
        result = id;
        if (auto* client = std::get_if<TcpClientConfig>(&device)) {
            if (running_) {
                StartClient(*id, *client); // the one change a new TcpClient makes
            }
        } else {
            Reconcile();
        }
    });
    return result;
}

bool Engine::DestroyDevice(std::int32_t id) {
    bool destroyed = false;
    OnIoThread([&] {
        destroyed = registry_.Destroy(id);
        if (destroyed) {
            Reconcile(); // detaches hubs from the port before it goes
            ports_.erase(id);
        }
    });
    return destroyed;
}

void Engine::DestroyAllDevices() {
    OnIoThread([&] {
        registry_.Clear();
        Reconcile();
        ports_.clear();
    });
}

std::optional<DeviceInfo> Engine::Info(std::int32_t id) const {
    // The registry and the maps change only while this thread waits in OnIoThread, so reading them here is safe.
    const Device* device = registry_.Find(id);
    if (!device) {
        return std::nullopt;
    }
    DeviceInfo info;
    if (auto* connector = std::get_if<ConnectorConfig>(device)) {
        info = {1, connector->comNumber, 0, true};
    } else if (auto* splitter = std::get_if<SplitterConfig>(device)) {
        info = {2, splitter->linkNumber, splitter->comNumber, registry_.Ready(id)};
    } else if (auto* client = std::get_if<TcpClientConfig>(device)) {
        auto it = clients_.find(id);
        info = {3, client->linkNumber, client->port, it != clients_.end() && it->second->Connected()};
        if (it != clients_.end()) {
            info.bytesToPeer = it->second->BytesSent();
            info.bytesFromPeer = it->second->BytesReceived();
        }
    }
    return info;
}

bool Engine::StartEmulation() {
    if (running_) {
        return true;
    }
    for (auto& [id, port] : ports_) {
        port->DiscardPending();
    }
    io_.restart();
    work_.emplace(io_.get_executor());
    std::promise<void> done;
    ioDone_ = done.get_future();
    thread_ = std::thread([this, done = std::move(done)]() mutable {
        RunIo();
        done.set_value();
    });
    OnIoThread([&] {
        running_ = true;
        Reconcile();
    });
    return true;
}

bool Engine::StopEmulation() {
    if (!thread_.joinable()) {
        return true;
    }
    OnIoThread([&] {
        running_ = false;
        CloseRuntime();
    });
    work_.reset();
    if (ioDone_.wait_for(kStopDrainTimeout) != std::future_status::ready) {
        io_.stop();
    }
    thread_.join();
    return true;
}

void Engine::CloseRuntime() {
    for (auto& [id, client] : clients_) {
        client->Close();
    }
    for (auto& [id, hub] : hubs_) {
        hub->Close();
    }
    clients_.clear();
    hubs_.clear();
}

PortEndpoint* Engine::PortFor(int comNumber) const {
    auto id = registry_.ConnectorFor(comNumber);
    return id ? ports_.at(*id).get() : nullptr;
}

void Engine::Reconcile() {
    if (!running_) {
        return;
    }
    std::erase_if(hubs_, [&](auto& entry) {
        bool gone = registry_.Find(entry.first) == nullptr;
        if (gone) {
            entry.second->Close();
        }
        return gone;
    });
    std::map<std::int32_t, RelayHub*> hubByLink;
    for (const auto& [id, device] : registry_.Devices()) {
        if (auto* splitter = std::get_if<SplitterConfig>(&device)) {
            auto& hub = hubs_[id];
            if (!hub) {
                hub = std::make_shared<RelayHub>(io_);
                hub->SetSettings(splitter->params);
            }
            hub->SetPort(PortFor(splitter->comNumber));
            hubByLink[splitter->linkNumber] = hub.get();
        }
    }
    std::erase_if(clients_, [&](auto& entry) {
        const Device* device = registry_.Find(entry.first);
        auto* config = device ? std::get_if<TcpClientConfig>(device) : nullptr;
        bool orphaned = !config || hubByLink[config->linkNumber] != entry.second->Hub();
        if (orphaned) {
            entry.second->Close();
        }
        return orphaned;
    });
    for (const auto& [id, device] : registry_.Devices()) {
        if (auto* config = std::get_if<TcpClientConfig>(&device); config && !clients_.count(id)) {
            StartClient(id, *config);
        }
    }
}

void Engine::StartClient(std::int32_t id, const TcpClientConfig& config) {
    auto splitterId = registry_.SplitterFor(config.linkNumber);
    if (!splitterId) {
        return; // its Splitter is gone: nothing to relay to until the devices are made again
    }
    asio::ip::tcp::endpoint peer(asio::ip::address_v4(config.host), config.port);
    auto& hub = hubs_.at(*splitterId);
    auto client =
        std::make_shared<TcpClient>(io_, hub, peer, std::chrono::seconds(config.connectTimeoutSeconds), config.rfc2217);
    if (config.rfc2217 && hub->Port()) {
        hub->Port()->WatchSettings([weak = std::weak_ptr<RelayHub>(hub)](const LineReport& report) {
            if (auto watching = weak.lock()) {
                watching->ReportSettings(report);
            }
        });
    }
    client->Start();
    clients_.emplace(id, std::move(client));
}

} // namespace kavrel::engine
