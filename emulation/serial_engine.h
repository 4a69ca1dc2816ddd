#pragma once
// The serial port engine's eight calls, as the link and emulation rules use them.
// On Windows they go to vspe_api.dll; the tests use a fake that can fail any call.

#include <cstdint>
#include <string>

namespace kavrel {

class SerialEngine {
public:
    virtual ~SerialEngine() = default;

    virtual bool Initialize() = 0;
    virtual bool DestroyAllDevices() = 0;
    // type is "Connector", "Splitter" or "TcpClient"; the init string goes to the engine as ANSI text.
    // Returns the device id, or -1 when no device was made.
    virtual std::int32_t CreateDevice(const char* type, const std::wstring& init) = 0;
    virtual bool DestroyDevice(std::int32_t id) = 0;
    // Whether the device is ready (a TcpClient: connected).
    virtual bool IsReady(std::int32_t id) = 0;
    virtual bool StartEmulation() = 0;
    virtual bool StopEmulation() = 0;
    virtual void Release() = 0;
};

} // namespace kavrel
