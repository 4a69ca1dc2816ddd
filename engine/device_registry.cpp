#include "engine/device_registry.h"

#include <atomic>

namespace kavrel::engine {
namespace {

// Ids are never reused while the process lives, not even after the engine is released and started again,
// so a stale id held by the caller can never name a new device.
std::atomic<std::int32_t> nextId{1};

std::optional<std::int32_t> Lookup(const std::map<int, std::int32_t>& index, int key) {
    auto it = index.find(key);
    return it == index.end() ? std::nullopt : std::optional(it->second);
}

} // namespace

std::optional<std::int32_t> DeviceRegistry::Create(std::string_view type, std::string_view init) {
    if (type == "Connector") {
        auto config = ParseConnector(init);
        if (!config || ConnectorFor(config->comNumber)) {
            return std::nullopt;
        }
        return Add(*config);
    }
    if (type == "Splitter") {
        auto config = ParseSplitter(init);
        if (!config || !ConnectorFor(config->comNumber) || SplitterOnPort(config->comNumber) ||
            SplitterFor(config->linkNumber)) {
            return std::nullopt;
        }
        return Add(*config);
    }
    if (type == "TcpClient") {
        auto config = ParseTcpClient(init);
        if (!config || !SplitterFor(config->linkNumber)) {
            return std::nullopt;
        }
        return Add(*config);
    }
    return std::nullopt;
}

std::optional<std::int32_t> DeviceRegistry::Add(Device device) {
    std::int32_t id = nextId.fetch_add(1); // wraps to negative only after 2^31 devices
    if (id <= 0) {
        return std::nullopt;
    }
    if (auto* connector = std::get_if<ConnectorConfig>(&device)) {
        connectorByCom_[connector->comNumber] = id;
    } else if (auto* splitter = std::get_if<SplitterConfig>(&device)) {
        splitterByLink_[splitter->linkNumber] = id;
        splitterByCom_[splitter->comNumber] = id;
    }
    devices_.emplace(id, std::move(device));
    return id;
}

bool DeviceRegistry::Destroy(std::int32_t id) {
    auto it = devices_.find(id);
    if (it == devices_.end()) {
        return false;
    }
    if (auto* connector = std::get_if<ConnectorConfig>(&it->second)) {
        connectorByCom_.erase(connector->comNumber);
    } else if (auto* splitter = std::get_if<SplitterConfig>(&it->second)) {
        splitterByLink_.erase(splitter->linkNumber);
        splitterByCom_.erase(splitter->comNumber);
    }
    devices_.erase(it);
    return true;
}

void DeviceRegistry::Clear() {
    devices_.clear();
    connectorByCom_.clear();
    splitterByLink_.clear();
    splitterByCom_.clear();
}

const Device* DeviceRegistry::Find(std::int32_t id) const {
    auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : &it->second;
}

std::optional<std::int32_t> DeviceRegistry::ConnectorFor(int comNumber) const {
    return Lookup(connectorByCom_, comNumber);
}

std::optional<std::int32_t> DeviceRegistry::SplitterFor(std::int32_t linkNumber) const {
    return Lookup(splitterByLink_, linkNumber);
}

std::optional<std::int32_t> DeviceRegistry::SplitterOnPort(int comNumber) const {
    return Lookup(splitterByCom_, comNumber);
}

bool DeviceRegistry::Ready(std::int32_t id) const {
    const Device* device = Find(id);
    if (!device) {
        return false;
    }
    if (auto* splitter = std::get_if<SplitterConfig>(device)) {
        return ConnectorFor(splitter->comNumber).has_value();
    }
    return std::holds_alternative<ConnectorConfig>(*device);
}

} // namespace kavrel::engine
