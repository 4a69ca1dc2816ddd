#pragma once
// An in-memory serial port engine that records every call, keeps the live devices, and can be told to
// fail any call. It also counts misuse a real engine would punish: destroying an id that is not a live
// device, two live Splitters with one link number, and any call after Release.

#include "emulation/serial_engine.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kavrel::test {

enum class EngineCall {
    Initialize,
    DestroyAllDevices,
    CreateDevice,
    DestroyDevice,
    IsReady,
    StartEmulation,
    StopEmulation,
    Release
};

class FakeSerialEngine : public SerialEngine {
public:
    struct Device {
        std::string type;
        std::wstring init;
    };
    struct Call {
        EngineCall call;
        std::string type;    // CreateDevice
        std::wstring init;   // CreateDevice
        std::int32_t id = 0; // DestroyDevice, IsReady; CreateDevice: the result
    };

    // Every later call of that kind fails (false, or -1 from CreateDevice).
    void Fail(EngineCall call) { failing_.insert(call); }
    // Every later CreateDevice of that type fails.
    void FailCreate(const std::string& type) { failingTypes_.insert(type); }
    void Heal() {
        failing_.clear();
        failingTypes_.clear();
    }
    void SetReady(std::int32_t id, bool ready) { ready ? (void)ready_.insert(id) : (void)ready_.erase(id); }

    bool Initialize() override { return Record(Of(EngineCall::Initialize)); }
    bool DestroyAllDevices() override {
        const bool ok = Record(Of(EngineCall::DestroyAllDevices));
        if (ok)
            devices_.clear();
        return ok;
    }
    std::int32_t CreateDevice(const char* type, const std::wstring& init) override {
        Call call{EngineCall::CreateDevice, type, init, -1};
        if (!failing_.count(EngineCall::CreateDevice) && !failingTypes_.count(call.type)) {
            call.id = nextId_++;
            // The link number leads the Splitter's init string; TcpClients find their Splitter by it.
            for (const auto& [id, device] : devices_)
                misuse_ += call.type == "Splitter" && device.type == "Splitter" &&
                           device.init.substr(0, device.init.find(L';')) == init.substr(0, init.find(L';'));
            devices_[call.id] = Device{call.type, init};
        }
        Record(call);
        return call.id;
    }
    bool DestroyDevice(std::int32_t id) override {
        if (!Record(Of(EngineCall::DestroyDevice, id)))
            return false;
        const bool live = devices_.erase(id) > 0;
        misuse_ += !live;
        return live;
    }
    bool IsReady(std::int32_t id) override {
        return Record(Of(EngineCall::IsReady, id)) && devices_.count(id) > 0 && ready_.count(id) > 0;
    }
    bool StartEmulation() override { return Record(Of(EngineCall::StartEmulation)); }
    bool StopEmulation() override { return Record(Of(EngineCall::StopEmulation)); }
    void Release() override {
        Record(Of(EngineCall::Release));
        released_ = true;
    }

    const std::map<std::int32_t, Device>& Devices() const { return devices_; }
    const std::vector<Call>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    std::vector<EngineCall> CallKinds() const {
        std::vector<EngineCall> kinds;
        for (const auto& call : calls_)
            kinds.push_back(call.call);
        return kinds;
    }
    int CountOf(const std::string& type) const {
        int count = 0;
        for (const auto& [id, device] : devices_)
            count += device.type == type;
        return count;
    }
    bool Clean() const { return misuse_ == 0; }

private:
    static Call Of(EngineCall kind, std::int32_t id = 0) { return Call{kind, {}, {}, id}; }
    // Returns whether the call succeeds.
    bool Record(const Call& call) {
        misuse_ += released_;
        calls_.push_back(call);
        return failing_.count(call.call) == 0;
    }

    std::map<std::int32_t, Device> devices_;
    std::vector<Call> calls_;
    std::set<EngineCall> failing_;
    std::set<std::string> failingTypes_;
    std::set<std::int32_t> ready_;
    std::int32_t nextId_ = 1;
    bool released_ = false;
    int misuse_ = 0;
};

} // namespace kavrel::test
