// Any server stream to the Telnet codec, split where the input says, with settings changed between the
// pieces; the invariants are listed in tests/fuzz/README.md.

#include "engine/telnet_codec.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace kavrel::engine;

// Our output: WILL/WONT/DO/DONT option, or SB 44 command value... IAC SE with 0xFF doubled inside.
void CheckOutput(const std::string& out) {
    auto at = [&](std::size_t k) { return k < out.size() ? static_cast<std::uint8_t>(out[k]) : -1; };
    for (std::size_t i = 0; i < out.size();) {
        Check(at(i) == 255 && at(i + 2) >= 0, "output is not a Telnet command");
        if (at(i + 1) >= 251 && at(i + 1) <= 254) {
            i += 3;
            continue;
        }
        Check(at(i + 1) == 250 && at(i + 2) == 44, "output command we never send");
        for (i += 3; !(at(i) == 255 && at(i + 1) == 240); i += at(i) == 255 ? 2 : 1) {
            Check(at(i + 1) >= 0, "subnegotiation not closed");
            Check(at(i) != 255 || at(i + 1) == 255, "bare IAC in subnegotiation");
        }
        i += 2;
    }
}

// The data, or nothing once the codec refuses the stream.
std::optional<std::vector<char>> Feed(const std::uint8_t* bytes, std::size_t size, bool split) {
    TelnetCodec codec;
    codec.Start();
    LineSettings settings;
    std::vector<char> data;
    for (std::size_t i = 0, piece = 0; i < size; i += piece) {
        // Piece lengths from the input itself, so the fuzzer explores the splits.
        piece = std::min<std::size_t>(split ? 1 + bytes[i] % 7 : size, size - i);
        const bool understood = codec.Receive(reinterpret_cast<const char*>(bytes + i), piece, data);
        settings.params.baud = 1 + static_cast<int>((i + piece) * 977 % 4'000'000);
        settings.params.parity = static_cast<int>((i + piece) % 5);
        settings.dtr = ((i + piece) & 1) != 0;
        codec.SendSettings(settings);
        CheckOutput(codec.TakeOutput());
        codec.TakeEvents();
        Check(data.size() <= i + piece, "more data than bytes in");
        if (!understood)
            return std::nullopt;
    }
    return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const auto whole = Feed(bytes, size, false), split = Feed(bytes, size, true);
    Check(whole.has_value() == split.has_value(), "verdict depends on how the stream was split");
    Check(!whole || *whole == *split, "data depends on how the stream was split");
    std::vector<char> escaped, back;
    TelnetCodec::Escape(reinterpret_cast<const char*>(bytes), size, escaped);
    TelnetCodec reader;
    Check(reader.Receive(escaped.data(), escaped.size(), back) &&
              std::string(back.begin(), back.end()) == std::string(reinterpret_cast<const char*>(bytes), size),
          "escaped data does not read back");
    return 0;
}
