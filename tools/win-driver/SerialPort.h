#pragma once
// A serial program's end of a port that kavrel.exe's engine made: under Wine the engine serves each COM port
// as the named pipe \\.\pipe\COMn.

#include "tools/win-driver/Driver.h"

#include <windows.h>

#include <string>

namespace kavrel::e2e {

class SerialPort {
public:
    explicit SerialPort(const std::wstring& name);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    bool Write(const std::string& bytes);
    // What is waiting now, without blocking; false when the port has failed.
    bool ReadAvailable(std::string& into);
    // What arrives within the time, up to want bytes.
    std::string Read(size_t want, Duration timeout);

private:
    HANDLE handle_;
};

} // namespace kavrel::e2e
