#pragma once
// What a port reports of the line its program asked for. Each field is known or not: a Linux pty knows the
// speed, stop bits and flow control but keeps 8N1 whatever is asked, a pair driver may report everything.

#include "engine/init_strings.h"

#include <optional>

namespace kavrel::engine {

struct LineReport {
    std::optional<int> baud;
    std::optional<int> dataBits;
    std::optional<int> parity;      // codes as in SerialParams
    std::optional<int> stopBits;    // 1, 2, or 3 for one and a half
    std::optional<int> flowControl; // codes as in SerialParams
    std::optional<bool> dtr;
    std::optional<bool> rts;
    std::optional<bool> breakOn;
};

// A link's line as the device server should carry it: the Splitter's settings, overlaid with what the
// port reports. Modem lines stay unknown until a port reports them.
struct LineSettings {
    SerialParams params;
    std::optional<bool> dtr;
    std::optional<bool> rts;
    std::optional<bool> breakOn;

    // True when something changed.
    bool Apply(const LineReport& report) {
        LineSettings before = *this;
        params.baud = report.baud.value_or(params.baud);
        params.dataBits = report.dataBits.value_or(params.dataBits);
        params.parity = report.parity.value_or(params.parity);
        params.stopBits = report.stopBits.value_or(params.stopBits);
        params.flowControl = report.flowControl.value_or(params.flowControl);
        dtr = report.dtr ? report.dtr : dtr;
        rts = report.rts ? report.rts : rts;
        breakOn = report.breakOn ? report.breakOn : breakOn;
        return !(before == *this);
    }
    bool operator==(const LineSettings& other) const {
        const SerialParams& a = params;
        const SerialParams& b = other.params;
        return a.baud == b.baud && a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits &&
               a.flowControl == b.flowControl && dtr == other.dtr && rts == other.rts && breakOn == other.breakOn;
    }
};

} // namespace kavrel::engine
