// Any server stream to the Telnet codec, split where the input says, with settings changed between the
// pieces; the invariants are listed in tests/fuzz/README.md.

#include "engine/telnet_codec.h"

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace kavrel::engine;

// The data, or nothing once the codec refuses the stream.
static std::optional<std::vector<char>> Feed(const std::uint8_t* bytes, std::size_t size, bool split) {
    TelnetCodec codec;
    codec.Start();
    LineSettings settings;
    std::vector<char> data;
    for (std::size_t i = 0, piece = 0; i < size; i += piece) {
        piece = std::min<std::size_t>(split ? 1 + bytes[i] % 7 : size, size - i);
        const bool understood = codec.Receive(reinterpret_cast<const char*>(bytes + i), piece, data);
        settings.params.baud = 1 + static_cast<int>((i + piece) * 977 % 4'000'000);
        settings.params.parity = static_cast<int>((i + piece) % 5);
        settings.dtr = ((i + piece) & 1) != 0;
        codec.SendSettings(settings);
        codec.TakeOutput();
        codec.TakeEvents();
        assert(data.size() <= i + piece && "more data than bytes in");
        if (!understood)
            return std::nullopt;
    }
    return data;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const auto whole = Feed(bytes, size, false), split = Feed(bytes, size, true);
    assert(whole.has_value() == split.has_value() && "verdict depends on how the stream was split");
    assert((!whole || *whole == *split) && "data depends on how the stream was split");
    std::vector<char> escaped, back;
    TelnetCodec::Escape(reinterpret_cast<const char*>(bytes), size, escaped);
    TelnetCodec reader;
    const bool understood = reader.Receive(escaped.data(), escaped.size(), back);
    assert(understood &&
           std::string(back.begin(), back.end()) == std::string(reinterpret_cast<const char*>(bytes), size) &&
           "escaped data does not read back");
    return 0;
}
