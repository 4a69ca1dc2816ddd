#pragma once
// The guard that keeps a second copy of the program from running in the same session.

#include "framework/ScopedHandles.h"

namespace kavrel {

class SingleInstance {
public:
    // Creates the named mutex; it stays open, and so taken, for the whole life of this process.
    explicit SingleInstance(const wchar_t* name) noexcept;

    // Another process of this session already holds the name.
    bool AnotherIsRunning() const noexcept { return creationError_ == ERROR_ALREADY_EXISTS; }

private:
    win::ScopedKernelHandle mutex_;
    DWORD creationError_ = 0;
};

} // namespace kavrel
