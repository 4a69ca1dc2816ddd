#pragma once
// The status poll's window timer. On Windows: SetTimer(dialog, kId, kPeriodMs, nullptr) and KillTimer.

#include <cstdint>

namespace kavrel {

class StatusTimer {
public:
    static constexpr std::uintptr_t kId = 3;
    static constexpr unsigned kPeriodMs = 5000;

    virtual ~StatusTimer() = default;
    // Arms (or re-arms, restarting the count) the timer; returns the value the fired timer will carry.
    virtual std::uintptr_t Arm() = 0;
    virtual void Kill(std::uintptr_t value) = 0;
};

} // namespace kavrel
