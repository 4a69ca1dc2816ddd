#pragma once
// Engine start-up, Start and Stop, the status poll and the teardown on the way out.

#include "core/buttons.h"
#include "core/device_rows.h"
#include "core/notifier.h"
#include "core/status_timer.h"
#include "emulation/port_links.h"
#include "emulation/serial_engine.h"

#include <cstdint>
#include <optional>

namespace kavrel {

class EmulationControl {
public:
    EmulationControl(SerialEngine& engine, DeviceRows& rows, Buttons& buttons, Notifier& notifier, StatusTimer& timer,
                     PortLinks& links);
    EmulationControl(const EmulationControl&) = delete;
    EmulationControl& operator=(const EmulationControl&) = delete;

    // At dialog start. False when the engine did not start; the dialog goes on regardless.
    bool StartEngine();
    // The controls as the dialog starts: Start and Stop disabled.
    void DisableStartStop();

    void Start();
    void Stop();
    // Every timer message of the dialog; only the status timer's polls.
    void OnTimer(std::uintptr_t firedId);
    void PollStatus();

    // Every way out (Exit, Escape, the close box, window destruction) calls this; only the first call
    // tears down. True when this call did it.
    bool Shutdown();

    bool Running() const { return running_; }
    bool IsShutDown() const { return shutDown_; }

private:
    SerialEngine& engine_;
    DeviceRows& rows_;
    Buttons& buttons_;
    Notifier& notifier_;
    StatusTimer& timer_;
    PortLinks& links_;
    std::optional<std::uintptr_t> timerValue_;
    bool running_ = false;
    bool shutDown_ = false;
};

} // namespace kavrel
