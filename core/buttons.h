#pragma once
// The dialog's controls whose enabled state the emulation rules switch.

namespace kavrel {

enum class DialogControl { Start, Stop, Search, DeviceList };

class Buttons {
public:
    virtual ~Buttons() = default;
    virtual void Enable(DialogControl control, bool enabled) = 0;
};

} // namespace kavrel
