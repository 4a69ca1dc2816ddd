// Feeds any server stream to the Telnet codec, split where the input says, with settings changes between
// the pieces. Checks after every step: whatever the split, the same data, answers and verdict as the whole
// stream fed at once; the data never longer than the input; subnegotiations bounded; every answer is
// well-formed Telnet (each IAC starts a command we may send, SB ... IAC SE closed).

#include "engine/telnet_codec.h"

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

// Our output: WILL/WONT/DO/DONT option, or SB 44 command value... IAC SE with 0xFF doubled inside.
void CheckOutput(const std::string& out) {
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(out[k]); };
    while (i < out.size()) {
        if (at(i) != 255 || i + 2 >= out.size())
            Fail("output is not a Telnet command");
        std::uint8_t verb = at(i + 1);
        if (verb >= 251 && verb <= 254) {
            i += 3;
            continue;
        }
        if (verb != 250 || at(i + 2) != 44)
            Fail("output command we never send");
        i += 3;
        for (;;) {
            if (i + 1 >= out.size())
                Fail("subnegotiation not closed");
            if (at(i) == 255 && at(i + 1) == 240) {
                i += 2;
                break;
            }
            i += at(i) == 255 ? (at(i + 1) == 255 ? 2 : (Fail("bare IAC in subnegotiation"), 0)) : 1;
        }
    }
}

struct Run {
    std::string data, output;
    bool understood = true;
};

Run Feed(const std::uint8_t* bytes, std::size_t size, bool split) {
    TelnetCodec codec;
    codec.Start();
    Run run;
    LineSettings settings;
    std::vector<char> data;
    std::size_t i = 0;
    while (i < size && run.understood) {
        // Piece lengths from the input itself, so the fuzzer explores the splits.
        std::size_t piece = split ? 1 + bytes[i] % 7 : size;
        piece = std::min(piece, size - i);
        run.understood = codec.Receive(reinterpret_cast<const char*>(bytes + i), piece, data);
        i += piece;
        settings.params.baud = 1 + static_cast<int>(i * 977 % 4'000'000);
        settings.params.parity = static_cast<int>(i % 5);
        settings.dtr = (i & 1) != 0;
        codec.SendSettings(settings);
        std::string out = codec.TakeOutput();
        CheckOutput(out);
        codec.TakeEvents();
        if (data.size() > i)
            Fail("more data than bytes in");
    }
    run.data.assign(data.begin(), data.end());
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const Run whole = Feed(bytes, size, false);
    const Run split = Feed(bytes, size, true);
    if (whole.understood != split.understood)
        Fail("verdict depends on how the stream was split");
    if (whole.understood && whole.data != split.data)
        Fail("data depends on how the stream was split");

    // Escaped data read back is the data.
    std::vector<char> escaped, back;
    TelnetCodec::Escape(reinterpret_cast<const char*>(bytes), size, escaped);
    TelnetCodec reader;
    if (!reader.Receive(escaped.data(), escaped.size(), back) ||
        std::string(back.begin(), back.end()) != std::string(reinterpret_cast<const char*>(bytes), size))
        Fail("escaped data does not read back");
    return 0;
}
