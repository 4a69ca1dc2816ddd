#include "emulation/VspeSerialEngine.h"

#include "engine/vspe_api.h"
#include "framework/Text.h"

namespace kavrel {

bool VspeSerialEngine::Initialize() {
    return vspe_initialize();
}

bool VspeSerialEngine::DestroyAllDevices() {
    return vspe_destroyAllDevices();
}

std::int32_t VspeSerialEngine::CreateDevice(const char* type, const std::wstring& init) {
    const auto ansi = win::ToAnsi(init);
    if (!ansi)
        return -1;
    return vspe_createDevice(type, ansi->c_str());
}

bool VspeSerialEngine::DestroyDevice(std::int32_t id) {
    return vspe_destroyDevice(id);
}

bool VspeSerialEngine::IsReady(std::int32_t id) {
    // Only the fourth value counts; zeroed first, an engine that does not write it reads as not ready.
    std::int32_t kind = 0;
    std::int32_t number = 0;
    std::int32_t detail = 0;
    std::int32_t ready = 0;
    vspe_getDeviceInfo(id, &kind, &number, &detail, &ready);
    return ready != 0;
}

bool VspeSerialEngine::StartEmulation() {
    return vspe_startEmulation();
}

bool VspeSerialEngine::StopEmulation() {
    return vspe_stopEmulation();
}

void VspeSerialEngine::Release() {
    vspe_release();
}

} // namespace kavrel
