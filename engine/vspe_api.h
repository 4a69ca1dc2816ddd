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
/* type: "Connector", "Splitter" or "TcpClient". Returns a positive id, or -1 when no device was made.
   Init strings (fields separated by ';'; "params" is "baud,parity,data bits,stop bits,flow,extra" with parity
   0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 2 for two, else one; flow 0 none, 1 XON/XOFF, 2 RTS/CTS,
   3 DSR/DTR):
     Connector  "N;F"                       the port COMN
     Splitter   "L;N;0;params;0;0;0"        link L on COMN, with the line settings of that link
     TcpClient  "HOST;PORT;L;params;0;T;;0;0[;rfc2217]"
                a connection to HOST:PORT (dotted IPv4) for link L, T seconds per attempt. Raw TCP unless the
                tenth field is "rfc2217": then the link speaks Telnet with COM port control (RFC 2217) and sends
                its Splitter's line settings, overlaid with what the serial program sets on the port, at every
                connect before any data and on every change. The TcpClient's own params are not used. */
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
