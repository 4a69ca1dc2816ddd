#pragma once
// `kavrel run` and `kavrel link`: the service's life from the instance lock to the last port removed.
// One thread: signals, discovery sockets and the poll of the links' state share one poll().

#include "linux/config.h"

#include <string>

namespace kavrel::service {

struct ServiceOptions {
    Config config;
    std::string configPath; // re-read on SIGHUP; empty for `kavrel link`
};

// The exit status: 0 after SIGTERM or SIGINT, 1 when the service could not start.
int RunService(const ServiceOptions& options);

} // namespace kavrel::service
