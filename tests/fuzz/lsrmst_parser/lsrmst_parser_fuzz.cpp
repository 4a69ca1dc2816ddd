// Feeds any stream to the in-band report parser, whole and split where the input says. Checks: the same data
// and reports whatever the split; never more data than bytes in; reports only with values in range; data
// with the escape written as ESC SERIAL_LSRMST_ESCAPE reads back as the data.

#include "engine/lsrmst_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace kavrel::engine;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void CheckReport(const LineReport& r) {
    if ((r.baud && (*r.baud < 1 || *r.baud > 4'000'000)) || (r.dataBits && (*r.dataBits < 5 || *r.dataBits > 8)) ||
        (r.parity && (*r.parity < 0 || *r.parity > 4)) || (r.stopBits && (*r.stopBits < 1 || *r.stopBits > 3)))
        Fail("report out of range");
}

bool Same(const std::optional<LineReport>& a, const std::optional<LineReport>& b) {
    if (!a || !b)
        return !a && !b;
    return a->baud == b->baud && a->dataBits == b->dataBits && a->parity == b->parity && a->stopBits == b->stopBits &&
           a->dtr == b->dtr && a->rts == b->rts && a->breakOn == b->breakOn;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the escape character; the pair driver's codes are fixed.
    const std::uint8_t escape = bytes[0];
    const LsrMstParser::Extensions pair{0x10, 0x11};
    const char* stream = reinterpret_cast<const char*>(bytes + 1);
    const std::size_t n = size - 1;

    LsrMstParser whole(escape, pair), split(escape, pair);
    std::vector<char> wholeData, splitData;
    whole.Feed(stream, n, wholeData);
    for (std::size_t i = 0; i < n;) {
        std::size_t piece = std::min<std::size_t>(1 + static_cast<std::uint8_t>(stream[i]) % 5, n - i);
        split.Feed(stream + i, piece, splitData);
        i += piece;
    }
    if (wholeData != splitData || whole.UnknownCodes() != split.UnknownCodes())
        Fail("data depends on how the stream was split");
    if (wholeData.size() > n)
        Fail("more data than bytes in");
    auto a = whole.TakeReport();
    if (!Same(a, split.TakeReport()))
        Fail("reports depend on how the stream was split");
    if (a)
        CheckReport(*a);

    if (escape != 0) {
        std::string escaped;
        for (std::size_t i = 0; i < n; ++i) {
            escaped.push_back(stream[i]);
            if (static_cast<std::uint8_t>(stream[i]) == escape)
                escaped.push_back(static_cast<char>(LsrMstParser::kEscape));
        }
        LsrMstParser reader(escape, pair);
        std::vector<char> back;
        reader.Feed(escaped.data(), escaped.size(), back);
        if (std::string(back.begin(), back.end()) != std::string(stream, n) || reader.TakeReport())
            Fail("escaped data does not read back");
    }
    return 0;
}
