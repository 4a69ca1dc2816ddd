#include "app/SingleInstance.h"

namespace kavrel {

SingleInstance::SingleInstance(const wchar_t* name) noexcept
    : mutex_(CreateMutexW(nullptr, FALSE, name)), creationError_(GetLastError()) {}

} // namespace kavrel
