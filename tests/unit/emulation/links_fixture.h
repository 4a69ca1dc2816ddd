#pragma once
// The links and emulation control over an engine, device list, buttons, message boxes and status timer
// in memory, with the checks that must hold of the link table between operations.

#include "core/buttons.h"
#include "core/notifier.h"
#include "core/status_timer.h"
#include "emulation/emulation_control.h"
#include "emulation/port_links.h"
#include "fake_device_rows.h"
#include "fake_serial_engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace kavrel::test {

class FakeButtons : public Buttons {
public:
    void Enable(DialogControl control, bool enabled) override { enabled_[control] = enabled; }
    bool Enabled(DialogControl control) const { return enabled_.at(control); }

private:
    // As the dialog leaves them after start-up.
    std::map<DialogControl, bool> enabled_{{DialogControl::Start, false},
                                           {DialogControl::Stop, false},
                                           {DialogControl::Search, true},
                                           {DialogControl::DeviceList, true}};
};

class FakeNotifier : public Notifier {
public:
    void Show(const std::wstring& text) override {
        shown.push_back(text);
        if (whileShown) // a message box runs a message loop: other handlers can run before Show returns
            whileShown();
    }
    std::vector<std::wstring> shown;
    std::function<void()> whileShown;
};

class FakeStatusTimer : public StatusTimer {
public:
    // A window timer with a non-zero id answers SetTimer with that id.
    std::uintptr_t Arm() override {
        ++arms;
        armed = true;
        return kId;
    }
    void Kill(std::uintptr_t value) override { armed = armed && value != kId; }
    bool armed = false;
    int arms = 0;
};

class LinksFixture : public ::testing::Test {
protected:
    LinksFixture() {
        rows.Listen([this](int row, CheckChange change) { links.OnCheckChanged(row, change); });
    }
    std::int32_t ClientOf(int row) const { return static_cast<std::int32_t>(rows.ItemData(row)); }
    std::vector<std::int32_t> DestroyedIds() const {
        std::vector<std::int32_t> ids;
        for (const auto& call : engine.Calls())
            if (call.call == EngineCall::DestroyDevice)
                ids.push_back(call.id);
        return ids;
    }
    // Every link has a live Connector and Splitter and at least one live TcpClient, names and link numbers
    // are unique, and the engine holds no device that no link accounts for.
    void ExpectLinkTableSound() const {
        std::set<std::wstring> names;
        std::set<std::int32_t> numbers, owned;
        auto live = [&](std::int32_t id, const char* type) {
            owned.insert(id);
            const auto found = engine.Devices().find(id);
            return found != engine.Devices().end() && found->second.type == type;
        };
        for (const auto& link : links.Links()) {
            EXPECT_TRUE(names.insert(link.comName).second) << "two links for one name";
            EXPECT_TRUE(numbers.insert(link.linkNumber).second) << "two links with number " << link.linkNumber;
            EXPECT_TRUE(live(link.connectorId, "Connector"));
            EXPECT_TRUE(live(link.splitterId, "Splitter"));
            EXPECT_FALSE(link.tcpClientIds.empty());
            for (auto id : link.tcpClientIds)
                EXPECT_TRUE(live(id, "TcpClient"));
        }
        for (const auto& [id, device] : engine.Devices())
            EXPECT_TRUE(owned.count(id)) << "leaked " << device.type << " " << id;
        EXPECT_TRUE(engine.Clean());
    }

    FakeSerialEngine engine;
    FakeDeviceRows rows;
    FakeButtons buttons;
    FakeNotifier notifier;
    FakeStatusTimer timer;
    PortLinks links{engine, rows, buttons, notifier};
    EmulationControl control{engine, rows, buttons, notifier, timer, links};
};

} // namespace kavrel::test
