#pragma once
// The serial port engine behind vspe_api.dll, imported by name, so a compatible engine can take its place.

#include "emulation/serial_engine.h"

namespace kavrel {

class VspeSerialEngine : public SerialEngine {
public:
    bool Initialize() override;
    bool DestroyAllDevices() override;
    // -1 also when the init string has no ANSI form on this system.
    std::int32_t CreateDevice(const char* type, const std::wstring& init) override;
    bool DestroyDevice(std::int32_t id) override;
    bool IsReady(std::int32_t id) override;
    bool StartEmulation() override;
    bool StopEmulation() override;
    void Release() override;
};

} // namespace kavrel
