// A stand-in vspe_api.dll that makes nothing and writes each call, one line, to the file named by
// KAVREL_ENGINE_LOG, so a test can see what kavrel.exe asked of its engine up to the moment it ended.

#define VSPE_API_BUILD
#include "engine/vspe_api.h"

#include <cstdio>
#include <cstdlib>

namespace {

int32_t g_nextId = 1;

void Record(const char* call, int32_t id = 0) {
    const char* path = std::getenv("KAVREL_ENGINE_LOG");
    if (path == nullptr)
        return;
    if (std::FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "%s %d\n", call, static_cast<int>(id));
        std::fclose(log);
    }
}

} // namespace

extern "C" {

bool vspe_initialize(void) {
    Record("initialize");
    return true;
}
bool vspe_destroyAllDevices(void) {
    Record("destroyAllDevices");
    return true;
}
int32_t vspe_createDevice(const char* type, const char*) {
    Record(type, g_nextId);
    return g_nextId++;
}
bool vspe_destroyDevice(int32_t id) {
    Record("destroyDevice", id);
    return true;
}
bool vspe_getDeviceInfo(int32_t, int32_t*, int32_t*, int32_t*, int32_t* ready) {
    *ready = 1;
    return true;
}
bool vspe_startEmulation(void) {
    Record("startEmulation");
    return true;
}
bool vspe_stopEmulation(void) {
    Record("stopEmulation");
    return true;
}
void vspe_release(void) {
    Record("release");
}
}
