// Feeds any text to the three init-string parsers. Whatever is accepted must lie in the documented ranges
// and read back the same when written out in the canonical form.

#include "engine/init_strings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace kavrel::engine;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

std::string Params(const SerialParams& p) {
    return std::to_string(p.baud) + "," + std::to_string(p.parity) + "," + std::to_string(p.dataBits) + "," +
           std::to_string(p.stopBits) + "," + std::to_string(p.flowControl) + "," + std::to_string(p.extra);
}

bool Same(const SerialParams& a, const SerialParams& b) {
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits &&
           a.flowControl == b.flowControl && a.extra == b.extra;
}

void CheckParams(const SerialParams& p) {
    if (p.baud < 1 || p.parity < 0 || p.parity > 4 || p.dataBits < 5 || p.dataBits > 8 || p.stopBits < 0 ||
        p.stopBits > 2 || p.flowControl < 0 || p.flowControl > 3)
        Fail("serial parameters out of range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto c = ParseConnector(text)) {
        if (c->comNumber < 1 || c->comNumber > 255 || (c->flag != 0 && c->flag != 1))
            Fail("connector out of range");
        const auto again = ParseConnector(std::to_string(c->comNumber) + ";" + std::to_string(c->flag));
        if (!again || again->comNumber != c->comNumber || again->flag != c->flag)
            Fail("connector does not read back");
    }
    if (const auto s = ParseSplitter(text)) {
        if (s->linkNumber < 0 || s->comNumber < 1 || s->comNumber > 255)
            Fail("splitter out of range");
        CheckParams(s->params);
        const auto again = ParseSplitter(std::to_string(s->linkNumber) + ";" + std::to_string(s->comNumber) + ";0;" +
                                         Params(s->params) + ";0;0;0");
        if (!again || again->linkNumber != s->linkNumber || again->comNumber != s->comNumber ||
            !Same(again->params, s->params))
            Fail("splitter does not read back");
    }
    if (const auto t = ParseTcpClient(text)) {
        if (t->port == 0 || t->linkNumber < 0 || t->connectTimeoutSeconds < 0 || t->connectTimeoutSeconds > 86400)
            Fail("TcpClient out of range");
        CheckParams(t->params);
        // The host must be written in the text exactly as dotted decimal.
        const std::string host = std::to_string(t->host[0]) + "." + std::to_string(t->host[1]) + "." +
                                 std::to_string(t->host[2]) + "." + std::to_string(t->host[3]);
        if (text.substr(0, text.find(';')) != host)
            Fail("TcpClient host not the text's address");
        const auto again =
            ParseTcpClient(host + ";" + std::to_string(t->port) + ";" + std::to_string(t->linkNumber) + ";" +
                           Params(t->params) + ";0;" + std::to_string(t->connectTimeoutSeconds) + ";;0;0");
        if (!again || again->host != t->host || again->port != t->port || again->linkNumber != t->linkNumber ||
            !Same(again->params, t->params) || again->connectTimeoutSeconds != t->connectTimeoutSeconds)
            Fail("TcpClient does not read back");
    }
    return 0;
}
