// Any text to the three init-string parsers; the invariants are listed in tests/fuzz/README.md.

#include "engine/init_strings.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace kavrel::engine;

bool InRange(const SerialParams& p) {
    return p.baud >= 1 && p.baud <= 4'000'000 && p.parity >= 0 && p.parity <= 4 && p.dataBits >= 5 && p.dataBits <= 8 &&
           p.stopBits >= 0 && p.stopBits <= 2 && p.flowControl >= 0 && p.flowControl <= 3;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto c = ParseConnector(text)) {
        Check(c->comNumber >= 1 && c->comNumber <= 255 && (c->flag == 0 || c->flag == 1), "connector out of range");
    }
    if (const auto s = ParseSplitter(text)) {
        Check(s->linkNumber >= 0 && s->comNumber >= 1 && s->comNumber <= 255 && InRange(s->params),
              "splitter out of range");
    }
    if (const auto t = ParseTcpClient(text)) {
        Check(t->port != 0 && t->linkNumber >= 0 && t->connectTimeoutSeconds >= 0 &&
                  t->connectTimeoutSeconds <= 86400 && InRange(t->params),
              "TcpClient out of range");
        const std::string host = std::to_string(t->host[0]) + "." + std::to_string(t->host[1]) + "." +
                                 std::to_string(t->host[2]) + "." + std::to_string(t->host[3]);
        Check(text.substr(0, text.find(';')) == host, "TcpClient host not the text's address");
    }
    return 0;
}
