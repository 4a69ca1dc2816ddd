#ifndef VSPE_API_H
#define VSPE_API_H
/* Kavrel's serial port engine: the eight calls kavrel.exe imports by name from vspe_api.dll
   (libvspe_api.so natively). Every call returns at once and never throws. */

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(VSPE_API_STATIC)
#define VSPE_API
#elif defined(_WIN32) && defined(VSPE_API_BUILD)
#define VSPE_API __declspec(dllexport)
#elif defined(_WIN32)
#define VSPE_API __declspec(dllimport)
#else
#define VSPE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

VSPE_API bool vspe_initialize(void);
VSPE_API bool vspe_destroyAllDevices(void);
/* type: "Connector", "Splitter" or "TcpClient". Returns a positive id, or -1 when no device was made. */
VSPE_API int32_t vspe_createDevice(const char* type, const char* init);
VSPE_API bool vspe_destroyDevice(int32_t id);
/* a: 1 Connector, 2 Splitter, 3 TcpClient; b: COM or link number; c: Splitter's COM number or TcpClient's
   TCP port; ready: non-zero while usable (a TcpClient: connected). Unknown id: false, outputs untouched. */
VSPE_API bool vspe_getDeviceInfo(int32_t id, int32_t* a, int32_t* b, int32_t* c, int32_t* ready);
VSPE_API bool vspe_startEmulation(void);
VSPE_API bool vspe_stopEmulation(void);
VSPE_API void vspe_release(void);

#ifdef __cplusplus
}
#endif

#endif
