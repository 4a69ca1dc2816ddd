#pragma once
// The dialog's buttons, message boxes and status timer in memory.

#include "core/buttons.h"
#include "core/notifier.h"
#include "core/status_timer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kavrel::test {

class FakeButtons : public Buttons {
public:
    // As the dialog leaves them after start-up.
    FakeButtons() {
        enabled_ = {{DialogControl::Start, false},
                    {DialogControl::Stop, false},
                    {DialogControl::Search, true},
                    {DialogControl::DeviceList, true}};
    }
    void Enable(DialogControl control, bool enabled) override { enabled_[control] = enabled; }
    bool Enabled(DialogControl control) const { return enabled_.at(control); }

private:
    std::map<DialogControl, bool> enabled_;
};

class FakeNotifier : public Notifier {
public:
    void Show(const std::wstring& text) override {
        shown.push_back(text);
        // A message box runs a message loop: other handlers can run before Show returns.
        if (whileShown) {
            whileShown();
        }
    }
    std::vector<std::wstring> shown;
    std::function<void()> whileShown;
};

class FakeStatusTimer : public StatusTimer {
public:
    // A window timer with a non-zero id answers SetTimer with that id.
    std::uintptr_t Arm() override {
        ++arms;
        armed = true;
        return kId;
    }
    void Kill(std::uintptr_t value) override {
        if (value == kId) {
            armed = false;
        }
        ++kills;
    }
    bool armed = false;
    int arms = 0;
    int kills = 0;
};

} // namespace kavrel::test
