#include "engine/descriptor_limit.h"

namespace kavrel::engine {

void RaiseDescriptorLimit() noexcept {} // handles have no per-process limit of that size on Windows

} // namespace kavrel::engine
