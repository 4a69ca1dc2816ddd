// Any stream to the in-band report parser, whole and split where the input says; the invariants are listed in
// tests/fuzz/README.md.

#include "engine/lsrmst_parser.h"

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace kavrel::engine;

static auto Fields(const std::optional<LineReport>& report) {
    const LineReport r = report.value_or(LineReport{});
    return std::tuple(report.has_value(), r.baud, r.dataBits, r.parity, r.stopBits, r.dtr, r.rts, r.breakOn);
}

static bool In(const std::optional<int>& value, int low, int high) {
    return !value || (*value >= low && *value <= high);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the escape character; the pair driver's codes are fixed.
    const std::string stream(reinterpret_cast<const char*>(bytes + 1), size - 1);
    LsrMstParser whole(bytes[0], {0x10, 0x11}), split(bytes[0], {0x10, 0x11});
    std::vector<char> wholeData, splitData;
    whole.Feed(stream.data(), stream.size(), wholeData);
    for (std::size_t i = 0, piece = 0; i < stream.size(); i += piece) {
        piece = std::min<std::size_t>(1 + static_cast<std::uint8_t>(stream[i]) % 5, stream.size() - i);
        split.Feed(stream.data() + i, piece, splitData);
    }
    assert(wholeData == splitData && whole.UnknownCodes() == split.UnknownCodes() && "data depends on the split");
    assert(wholeData.size() <= stream.size() && "more data than bytes in");
    const auto report = whole.TakeReport(), splitReport = split.TakeReport();
    assert(Fields(report) == Fields(splitReport) && "reports depend on the split");
    assert((!report || (In(report->baud, 1, 4'000'000) && In(report->dataBits, 5, 8) && In(report->parity, 0, 4) &&
                        In(report->stopBits, 1, 3))) &&
           "report out of range");
    return 0;
}
