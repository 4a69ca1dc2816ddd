#pragma once
// Reads the stream of a serial port on which IOCTL_SERIAL_LSRMST_INSERT is on: the driver puts an escape
// character in front of each line status or modem status value, and of the escape character itself when it
// is data. A null-modem pair driver reports the far end's modem lines this way (its DTR is our DSR, its RTS
// our CTS); some also report the far end's baud rate (a SERIAL_BAUD_RATE) and line control (a
// SERIAL_LINE_CONTROL) under codes of their own, which the backend names in Extensions. Portable and
// Asio-free; events may be split across reads anyhow.

#include "engine/line_settings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kavrel::engine {

class LsrMstParser {
public:
    // The SERIAL_LSRMST_* codes of winioctl.h.
    static constexpr std::uint8_t kEscape = 0, kLsrData = 1, kLsrNoData = 2, kMst = 3;

    struct Extensions {
        std::optional<std::uint8_t> baudRate;    // followed by a 4-byte little-endian baud rate
        std::optional<std::uint8_t> lineControl; // followed by stop bits (0 one, 1 one and a half, 2 two),
                                                 // parity (0 none .. 4 space) and word length
    };

    // escape is the character given to the ioctl; 0 means insertion is off and everything is data.
    explicit LsrMstParser(std::uint8_t escape, Extensions extensions = {}) : escape_(escape), extensions_(extensions) {}

    // Appends the data bytes to data and gathers the reports.
    void Feed(const char* bytes, std::size_t n, std::vector<char>& data);
    // What changed since the last call, or nothing.
    std::optional<LineReport> TakeReport();
    // Codes this parser does not know, each dropped with its escape: the length of what follows is unknown.
    std::size_t UnknownCodes() const { return unknown_; }
    std::optional<std::uint8_t> LastLineStatus() const { return lineStatus_; }

private:
    enum class State { Data, Code, Payload };
    void Complete();

    std::uint8_t escape_;
    Extensions extensions_;
    State state_ = State::Data;
    std::uint8_t code_ = 0;
    std::uint8_t payload_[4] = {};
    std::size_t have_ = 0;
    std::size_t need_ = 0;
    std::size_t unknown_ = 0;
    std::optional<std::uint8_t> lineStatus_;
    LineReport report_;
    bool reported_ = false;
};

} // namespace kavrel::engine
