// The C boundary: one engine per process, every call serialised and no exception let through.

#include "engine/vspe_api.h"

#include "engine/engine.h"

#include <memory>
#include <mutex>

namespace {

struct EngineHolder {
    std::unique_ptr<kavrel::engine::Engine> engine;
    ~EngineHolder() {
#ifdef _WIN32
        // A process that ends without vspe_release: Windows has already ended the I/O thread when it
        // unloads this DLL, so a stop would wait for it forever. The system reclaims every handle anyway.
        (void)engine.release();
#endif
    }
};

std::mutex engineMutex;
EngineHolder holder;
auto& theEngine = holder.engine;

template <class R, class F> R Guarded(R failure, F&& body) noexcept {
    try {
        std::lock_guard lock(engineMutex);
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace

extern "C" {

VSPE_API bool vspe_initialize(void) {
    return Guarded(false, [] {
        if (!theEngine) {
            theEngine = std::make_unique<kavrel::engine::Engine>();
        }
        return true;
    });
}

VSPE_API bool vspe_destroyAllDevices(void) {
    return Guarded(false, [] {
        if (!theEngine) {
            return false;
        }
        theEngine->DestroyAllDevices();
        return true;
    });
}

VSPE_API int32_t vspe_createDevice(const char* type, const char* init) {
    return Guarded(int32_t{-1}, [&] {
        if (!theEngine || !type || !init) {
            return int32_t{-1};
        }
        return theEngine->CreateDevice(type, init).value_or(-1);
    });
}

VSPE_API bool vspe_destroyDevice(int32_t id) {
    return Guarded(false, [&] { return theEngine && theEngine->DestroyDevice(id); });
}

VSPE_API bool vspe_getDeviceInfo(int32_t id, int32_t* a, int32_t* b, int32_t* c, int32_t* ready) {
    return Guarded(false, [&] {
        auto info = theEngine ? theEngine->Info(id) : std::nullopt;
        if (!info) {
            return false;
        }
        for (auto [out, value] : {std::pair{a, info->type},
                                  {b, info->number},
                                  {c, info->port},
                                  {ready, static_cast<int32_t>(info->ready)}}) {
            if (out) {
                *out = value;
            }
        }
        return true;
    });
}

VSPE_API bool vspe_startEmulation(void) {
    return Guarded(false, [] { return theEngine && theEngine->StartEmulation(); });
}

VSPE_API bool vspe_stopEmulation(void) {
    return Guarded(false, [] { return theEngine && theEngine->StopEmulation(); });
}

VSPE_API void vspe_release(void) {
    Guarded(0, [] {
        theEngine.reset();
        return 0;
    });
}

} // extern "C"
