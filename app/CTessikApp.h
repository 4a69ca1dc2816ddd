#pragma once
// The application: checks that it is the only copy, prepares the process and runs the main dialog.

#include <windows.h>

namespace kavrel {

class CTessikApp {
public:
    CTessikApp(HINSTANCE instance, bool anotherIsRunning) noexcept;

    // Runs the program to its end. Always false: the main dialog's loop was the only message loop.
    bool InitInstance() noexcept;

private:
    HINSTANCE instance_;
    bool anotherIsRunning_;
};

} // namespace kavrel
