#pragma once
// A plain serial program's port: \\.\COMn opened with CreateFile and driven with the comm API
// (115200 8N1, synchronous reads that end 20 ms after the last byte or after 2 s).

#include "tools/win-driver/Driver.h"

#include <windows.h>

#include <string>

namespace kavrel::e2e {

class ComPort {
public:
    explicit ComPort(const wchar_t* name);
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    bool Ready() const { return handle_ != INVALID_HANDLE_VALUE && configured_; }
    HANDLE Handle() const { return handle_; }
    bool Write(const std::string& bytes);
    // What is queued now, without waiting.
    std::string ReadQueued();
    std::string ReadUpTo(size_t size);
    // What arrives within the time, up to want bytes.
    std::string Read(size_t want, Duration timeout);

private:
    HANDLE handle_;
    bool configured_ = false;
};

} // namespace kavrel::e2e
