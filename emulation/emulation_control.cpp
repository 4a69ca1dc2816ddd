#include "emulation/emulation_control.h"

#include "core/status_texts.h"

namespace kavrel {

namespace {

constexpr const wchar_t* kInitFailed = L"Initialization error";
constexpr const wchar_t* kStartFailed = L"Error: can not start emulation";
constexpr const wchar_t* kStopFailed = L"Error: can not stop emulation";

} // namespace

EmulationControl::EmulationControl(SerialEngine& engine, DeviceRows& rows, Buttons& buttons, Notifier& notifier,
                                   StatusTimer& timer, PortLinks& links)
    : engine_(engine), rows_(rows), buttons_(buttons), notifier_(notifier), timer_(timer), links_(links) {}

bool EmulationControl::StartEngine() {
    if (!engine_.Initialize()) {
        notifier_.Show(kInitFailed);
        return false;
    }
    // Devices a previous run left behind would hold our COM port names.
    engine_.DestroyAllDevices();
    return true;
}

void EmulationControl::DisableStartStop() {
    buttons_.Enable(DialogControl::Start, false);
    buttons_.Enable(DialogControl::Stop, false);
}

void EmulationControl::Start() {
    if (shutDown_) {
        return;
    }
    const bool started = engine_.StartEmulation();
    // A failed start still runs the poll and offers Stop: the user sees "Error" rows and can retry.
    timerValue_ = timer_.Arm();
    running_ = true;
    buttons_.Enable(DialogControl::Start, false);
    buttons_.Enable(DialogControl::Search, false);
    buttons_.Enable(DialogControl::Stop, true);
    buttons_.Enable(DialogControl::DeviceList, false);
    // Last: the message box's own message loop may run the teardown.
    if (!started) {
        notifier_.Show(kStartFailed);
    }
}

void EmulationControl::Stop() {
    if (shutDown_) {
        return;
    }
    const bool stopped = engine_.StopEmulation();
    if (timerValue_) {
        timer_.Kill(*timerValue_);
        timerValue_.reset();
    }
    running_ = false;
    for (int row = rows_.RowCount() - 1; row >= 0; --row) {
        if (rows_.IsChecked(row)) {
            rows_.SetCellText(row, kColumnStatus, kStatusEnable);
        }
    }
    buttons_.Enable(DialogControl::Start, true);
    buttons_.Enable(DialogControl::Search, true);
    buttons_.Enable(DialogControl::Stop, false);
    buttons_.Enable(DialogControl::DeviceList, true);
    if (!stopped) {
        notifier_.Show(kStopFailed);
    }
}

void EmulationControl::OnTimer(std::uintptr_t firedId) {
    if (shutDown_ || !timerValue_ || firedId != *timerValue_) {
        return;
    }
    PollStatus();
    timerValue_ = timer_.Arm();
}

void EmulationControl::PollStatus() {
    if (shutDown_) {
        return;
    }
    for (int row = rows_.RowCount() - 1; row >= 0; --row) {
        if (!rows_.IsChecked(row)) {
            continue;
        }
        // Asked by the row's own TcpClient: a ticked row without one has no device to be ready.
        const auto client = links_.LinkedClient(row);
        const bool ready = client && engine_.IsReady(*client);
        rows_.SetCellText(row, kColumnStatus, ready ? kStatusReady : kStatusError);
    }
}

bool EmulationControl::Shutdown() {
    if (shutDown_) {
        return false;
    }
    shutDown_ = true;
    // No poll may reach the engine once it is released.
    if (timerValue_) {
        timer_.Kill(*timerValue_);
        timerValue_.reset();
    }
    engine_.DestroyAllDevices();
    engine_.StopEmulation();
    engine_.Release();
    links_.Close();
    running_ = false;
    return true;
}

} // namespace kavrel
