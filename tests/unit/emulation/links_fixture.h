#pragma once
// The link and emulation rules with the world around them in memory. The fixture itself plays the engine,
// the buttons, the message boxes and the status timer. The engine logs each call as "<kind> <argument>"
// ("TcpClient <init>", "Destroy 3"), fails every call of a kind once told to, and counts misuse a real
// engine would punish: destroying what is not a live device, and any call after Release.

#include "core/buttons.h"
#include "core/notifier.h"
#include "core/status_timer.h"
#include "emulation/emulation_control.h"
#include "emulation/port_links.h"
#include "fake_device_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace kavrel::test {

using Texts = std::vector<std::wstring>;

class LinksFixture : public ::testing::Test, public SerialEngine, public Buttons, public Notifier, public StatusTimer {
protected:
    LinksFixture() {
        rows.onCheckChanged = [this](int row, CheckChange change) { links.OnCheckChanged(row, change); };
    }

    bool Initialize() override { return Call(L"Initialize"); }
    bool DestroyAllDevices() override {
        const bool done = Call(L"DestroyAll");
        if (done)
            devices.clear();
        return done;
    }
    std::int32_t CreateDevice(const char* type, const std::wstring& init) override {
        const std::wstring device = std::wstring(type, type + std::strlen(type)) + L" " + init;
        if (!Call(device))
            return -1;
        devices[nextId] = device;
        return nextId++;
    }
    bool DestroyDevice(std::int32_t id) override {
        if (!Call(L"Destroy " + std::to_wstring(id)))
            return false;
        misuse += devices.erase(id) == 0;
        return true;
    }
    bool IsReady(std::int32_t id) override {
        return Call(L"IsReady " + std::to_wstring(id)) && devices.count(id) && ready.count(id);
    }
    bool StartEmulation() override { return Call(L"Start"); }
    bool StopEmulation() override { return Call(L"Stop"); }
    void Release() override {
        Call(L"Release");
        released = true;
    }
    void Enable(DialogControl which, bool on) override { enabled[which] = on; }
    void Show(const std::wstring& text) override {
        shown.push_back(text);
        if (whileShown) // a message box runs a message loop: other handlers may run before it returns
            whileShown();
    }
    std::uintptr_t Arm() override {
        ++arms;
        armed = true;
        return kId;
    }
    void Kill(std::uintptr_t value) override { armed = armed && value != kId; }

    bool Call(const std::wstring& call) {
        misuse += released;
        log.push_back(call);
        return failing.count(call.substr(0, call.find(L' '))) == 0;
    }
    // A row as discovery leaves it: unticked, Status "Disable".
    int AddDevice(const std::wstring& comPort) {
        const int row = rows.AppendRow();
        rows.SetCellText(row, kColumnComPort, comPort);
        rows.SetCellText(row, kColumnIpAddress, L"10.0.0." + std::to_wstring(row + 1));
        rows.SetCellText(row, kColumnTcpPort, L"23");
        rows.SetCellText(row, kColumnStatus, L"Disable");
        return row;
    }
    std::wstring Status(int row) const { return rows.CellText(row, kColumnStatus); }
    std::int32_t ClientOf(int row) const { return static_cast<std::int32_t>(rows.ItemData(row)); }

    FakeDeviceRows rows;
    PortLinks links{*this, rows, *this, *this};
    EmulationControl control{*this, rows, *this, *this, *this, links};
    std::map<std::int32_t, std::wstring> devices; // the live ones, as created
    std::set<std::wstring> failing;               // call kinds
    std::set<std::int32_t> ready;
    Texts log, shown;
    std::function<void()> whileShown;
    // As the dialog leaves them after start-up.
    std::map<DialogControl, bool> enabled{{DialogControl::Start, false},
                                          {DialogControl::Stop, false},
                                          {DialogControl::Search, true},
                                          {DialogControl::DeviceList, true}};
    std::int32_t nextId = 1;
    int misuse = 0, arms = 0;
    bool released = false, armed = false;
};

} // namespace kavrel::test
