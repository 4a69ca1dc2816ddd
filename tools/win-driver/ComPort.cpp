#include "tools/win-driver/ComPort.h"

namespace kavrel::e2e {

ComPort::ComPort(const wchar_t* name)
    : handle_(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    configured_ = SetCommState(handle_, &dcb);
    COMMTIMEOUTS timeouts{20, 0, 2000, 0, 5000};
    configured_ = configured_ && SetCommTimeouts(handle_, &timeouts);
}

ComPort::~ComPort() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

bool ComPort::Write(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ComPort::ReadQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status) || status.cbInQue == 0)
        return {};
    return ReadUpTo(status.cbInQue);
}

std::string ComPort::ReadUpTo(size_t size) {
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (!ReadFile(handle_, bytes.data(), static_cast<DWORD>(size), &read, nullptr))
        return {};
    bytes.resize(read);
    return bytes;
}

std::string ComPort::Read(size_t want, Duration timeout) {
    std::string got;
    WaitUntil([&] { return (got += ReadUpTo(want - got.size())).size() >= want; }, timeout);
    return got;
}

} // namespace kavrel::e2e
