#pragma once
// The message the shell broadcasts when its taskbar is created again (after Explorer restarts).

#include <windows.h>

namespace kavrel {

void RegisterTaskbarCreatedMessage() noexcept;
// Zero until registered.
UINT TaskbarCreatedMessage() noexcept;

} // namespace kavrel
