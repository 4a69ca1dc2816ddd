#pragma once
// What must hold of the link table between operations, checked against the engine's live devices.

#include "emulation/port_links.h"
#include "fake_serial_engine.h"

#include <gtest/gtest.h>

#include <set>

namespace kavrel::test {

// Every link has a live Connector and Splitter and at least one live TcpClient, names and link numbers
// are unique, and the engine holds no device that no link accounts for.
inline void ExpectLinkTableSound(const PortLinks& links, const FakeSerialEngine& engine) {
    std::set<std::wstring> names;
    std::set<std::int32_t> numbers;
    std::set<std::int32_t> owned;
    const auto& devices = engine.Devices();
    auto isLive = [&](std::int32_t id, const char* type) {
        const auto found = devices.find(id);
        return found != devices.end() && found->second.type == type;
    };
    for (const auto& link : links.Links()) {
        EXPECT_TRUE(names.insert(link.comName).second) << "two links for one name";
        EXPECT_TRUE(numbers.insert(link.linkNumber).second) << "two links with number " << link.linkNumber;
        EXPECT_TRUE(isLive(link.connectorId, "Connector"));
        EXPECT_TRUE(isLive(link.splitterId, "Splitter"));
        EXPECT_FALSE(link.tcpClientIds.empty());
        owned.insert(link.connectorId);
        owned.insert(link.splitterId);
        for (auto id : link.tcpClientIds) {
            EXPECT_TRUE(isLive(id, "TcpClient"));
            owned.insert(id);
        }
    }
    for (const auto& [id, device] : devices) {
        EXPECT_TRUE(owned.count(id)) << "leaked " << device.type << " " << id;
    }
    EXPECT_TRUE(engine.Clean());
}

} // namespace kavrel::test
