#include "engine/descriptor_limit.h"

#include <sys/resource.h>

namespace kavrel::engine {

void RaiseDescriptorLimit() noexcept {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit); // on failure the engine makes what the old limit allows
    }
}

} // namespace kavrel::engine
