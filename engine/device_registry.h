#pragma once
// The engine's devices as data: ids, types, configurations and the references between them. No I/O here.

#include "engine/init_strings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <variant>

namespace kavrel::engine {

using Device = std::variant<ConnectorConfig, SplitterConfig, TcpClientConfig>;

class DeviceRegistry {
public:
    // Parses the init string and checks it against the devices present: a Connector needs a free COM
    // number; a Splitter an existing Connector with no Splitter yet and a free link number; a TcpClient an
    // existing Splitter. Returns the new id, or nothing when no device was made.
    std::optional<std::int32_t> Create(std::string_view type, std::string_view init);
    bool Destroy(std::int32_t id);
    void Clear();

    const Device* Find(std::int32_t id) const;
    const std::map<std::int32_t, Device>& Devices() const { return devices_; }
    std::optional<std::int32_t> ConnectorFor(int comNumber) const;
    std::optional<std::int32_t> SplitterFor(std::int32_t linkNumber) const;
    std::optional<std::int32_t> SplitterOnPort(int comNumber) const;
    // Whether the device is ready by what the registry knows (a TcpClient's state lives in its connection).
    bool Ready(std::int32_t id) const;

private:
    std::optional<std::int32_t> Add(Device device);

    std::map<std::int32_t, Device> devices_;
    // The look-ups by number, so that 255 links do not mean a walk over every device per question.
    std::map<int, std::int32_t> connectorByCom_;
    std::map<std::int32_t, std::int32_t> splitterByLink_;
    std::map<int, std::int32_t> splitterByCom_;
};

} // namespace kavrel::engine
