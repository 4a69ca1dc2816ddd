// Any text to the three init-string parsers, under the sanitizers (the accepted ranges are proven at their
// edges by init_strings_test); what a TcpClient connects to must be the text's own dotted address.

#include "engine/init_strings.h"

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

using namespace kavrel::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ParseConnector(text);
    ParseSplitter(text);
    if (const auto t = ParseTcpClient(text)) {
        const std::string host = std::to_string(t->host[0]) + "." + std::to_string(t->host[1]) + "." +
                                 std::to_string(t->host[2]) + "." + std::to_string(t->host[3]);
        assert(text.substr(0, text.find(';')) == host && "TcpClient host not the text's address");
    }
    return 0;
}
