#include "tray/TaskbarMessage.h"

namespace kavrel {

namespace {
UINT g_taskbarCreated = 0;
}

void RegisterTaskbarCreatedMessage() noexcept {
    g_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

UINT TaskbarCreatedMessage() noexcept {
    return g_taskbarCreated;
}

} // namespace kavrel
