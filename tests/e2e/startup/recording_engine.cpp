// A stand-in vspe_api.dll that makes nothing and writes each call's name, one line, to the file named by
// KAVREL_ENGINE_LOG, so a test can see what kavrel.exe asked of its engine up to the moment it ended.

#define VSPE_API_BUILD
#include "engine/vspe_api.h"

#include <cstdlib>
#include <fstream>

static bool Record(const char* call) {
    if (const char* path = std::getenv("KAVREL_ENGINE_LOG"))
        std::ofstream(path, std::ios::app) << call << '\n';
    return true;
}

extern "C" {

bool vspe_initialize(void) {
    return Record("initialize");
}
bool vspe_destroyAllDevices(void) {
    return Record("destroyAllDevices");
}
int32_t vspe_createDevice(const char* type, const char*) {
    static int32_t next = 1;
    return Record(type) ? next++ : -1;
}
bool vspe_destroyDevice(int32_t) {
    return Record("destroyDevice");
}
bool vspe_getDeviceInfo(int32_t, int32_t*, int32_t*, int32_t*, int32_t* ready) {
    *ready = 1;
    return true;
}
bool vspe_startEmulation(void) {
    return Record("startEmulation");
}
bool vspe_stopEmulation(void) {
    return Record("stopEmulation");
}
void vspe_release(void) {
    Record("release");
}
}
