// The codec's wire format and answers; refusal, escaping and bad streams are proven end to end
// (rfc2217_test), any split of a stream reading as the whole by the fuzz target.

#include "engine/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kavrel::engine;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

bool Feed(TelnetCodec& codec, const std::string& in) {
    std::vector<char> data;
    return codec.Receive(in.data(), in.size(), data);
}

} // namespace

TEST(TelnetCodec, SendsSettingsInOrderAndOnlyWhatChangesTakesAnswersRefusesOtherOptions) {
    TelnetCodec codec;
    codec.Start();
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 251, 0, 255, 253, 0, 255, 251, 44}));
    LineSettings line{SerialParams{65535, 2, 7, 2, 2, -1}, true, {}, {}};
    codec.SendSettings(line);                                                  // not yet accepted: nothing goes out
    ASSERT_TRUE(Feed(codec, Bytes({255, 253, 44, 255, 253, 0, 255, 251, 0}))); // DO COM-PORT, DO/WILL BINARY
    EXPECT_EQ(codec.TakeOutput(), "") << "answers to our own offers are not acknowledged again";
    // 65535 is 00 00 FF FF on the wire: each 0xFF doubled inside the subnegotiation.
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 1, 0, 0,   255, 255, 255, 255, 255, 240, // baud
                                         255, 250, 44, 2, 7, 255, 240,                          // data size
                                         255, 250, 44, 3, 3, 255, 240,                          // even
                                         255, 250, 44, 4, 2, 255, 240,                          // two stop bits
                                         255, 250, 44, 5, 3, 255, 240,                          // RTS/CTS
                                         255, 250, 44, 5, 8, 255, 240}));                       // DTR on
    line.params.parity = 0;
    codec.SendSettings(line);
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 3, 1, 255, 240}));

    // The parity as asked is fine; a baud rate the server could not set is reported. The answer may come
    // in pieces.
    for (char byte : Bytes({255, 250, 44, 103, 1, 255, 240, 255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240})) {
        ASSERT_TRUE(Feed(codec, std::string(1, byte)));
    }
    auto events = codec.TakeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, TelnetEvent::Kind::Mismatch);
    EXPECT_EQ(events[1].asked, 65535u);
    EXPECT_EQ(events[1].value, 9600u);

    // A second change may leave before the first is answered: answers in order are no mismatch.
    line.params.baud = 300;
    codec.SendSettings(line);
    line.params.baud = 600;
    codec.SendSettings(line);
    Feed(codec, Bytes({255, 250, 44, 101, 0, 0, 1, 0x2c, 255, 240, 255, 250, 44, 101, 0, 0, 2, 0x58, 255, 240}));
    EXPECT_TRUE(codec.TakeEvents().empty());
    EXPECT_EQ(codec.TakeOutput().size(), 2 * 10u);

    // WILL ECHO, WILL SGA, DO TERMINAL-TYPE, WONT/DONT of something never on: refused or ignored.
    Feed(codec, Bytes({255, 251, 1, 255, 251, 3, 255, 253, 24, 255, 252, 5, 255, 254, 6}));
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 254, 1, 255, 254, 3, 255, 252, 24}));
    Feed(codec, Bytes({255, 250, 44, 12, 3, 255, 240})); // PURGE-DATA
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 112, 3, 255, 240}));

    const std::string longest = "\xff\xfa," + std::string(TelnetCodec::kMaxSubnegotiation, 'z');
    EXPECT_TRUE(Feed(codec, longest + "\xff\xf0"));
    TelnetCodec fresh;
    EXPECT_FALSE(Feed(fresh, longest + "z"));
}
