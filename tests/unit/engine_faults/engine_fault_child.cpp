// An engine in its own process, for the test that kills it: makes the port link of COM7, says so, and waits
// to be killed.

#include "engine/vspe_api.h"

#include <unistd.h>

#include <cstdio>

int main() {
    if (!vspe_initialize() || vspe_createDevice("Connector", "7;1") <= 0 ||
        vspe_createDevice("Splitter", "100;7;0;2400,0,8,1,2,-1;0;0;0") <= 0 || !vspe_startEmulation()) {
        std::puts("failed");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        pause();
}
