#include "tools/win-driver/SerialPort.h"

namespace kavrel::e2e {

SerialPort::SerialPort(const std::wstring& name)
    : handle_(CreateFileW((L"\\\\.\\pipe\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr)) {}

SerialPort::~SerialPort() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

bool SerialPort::Write(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool SerialPort::ReadAvailable(std::string& into) {
    DWORD available = 0;
    if (!PeekNamedPipe(handle_, nullptr, 0, nullptr, &available, nullptr))
        return false;
    if (available == 0)
        return true;
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!ReadFile(handle_, chunk.data(), available, &read, nullptr))
        return false;
    into.append(chunk, 0, read);
    return true;
}

std::string SerialPort::Read(size_t want, Duration timeout) {
    std::string got;
    WaitUntil([&] { return !ReadAvailable(got) || got.size() >= want; }, timeout);
    return got;
}

} // namespace kavrel::e2e
