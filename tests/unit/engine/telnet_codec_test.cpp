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

const std::string kAccept = Bytes({255, 253, 44, 255, 253, 0, 255, 251, 0}); // DO COM-PORT, DO/WILL BINARY

std::string Feed(TelnetCodec& codec, const std::string& in, bool* ok = nullptr) {
    std::vector<char> data;
    bool understood = codec.Receive(in.data(), in.size(), data);
    if (ok) {
        *ok = understood;
    } else {
        EXPECT_TRUE(understood);
    }
    return std::string(data.begin(), data.end());
}

LineSettings Settings(int baud, int parity, int dataBits, int stopBits, int flow) {
    LineSettings s;
    s.params = SerialParams{baud, parity, dataBits, stopBits, flow, -1};
    return s;
}

} // namespace

TEST(TelnetCodec, NegotiatesThenSendsSettingsInOrderAndOnlyWhatChanges) {
    TelnetCodec codec;
    codec.Start();
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 251, 0, 255, 253, 0, 255, 251, 44}));
    codec.SendSettings(Settings(9600, 0, 8, 1, 0)); // not yet accepted: nothing goes out
    EXPECT_EQ(codec.TakeOutput(), "");
    EXPECT_FALSE(codec.ComPortSettled());

    EXPECT_EQ(Feed(codec, kAccept), "");
    EXPECT_TRUE(codec.ComPortAccepted());
    EXPECT_EQ(codec.TakeOutput(), ""); // answers to our own offers are not acknowledged again
    auto events = codec.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, TelnetEvent::Kind::ComPortAccepted);

    // 65535 is 00 00 FF FF on the wire: each 0xFF doubled inside the subnegotiation.
    auto line = Settings(65535, 2, 7, 2, 2);
    line.dtr = true;
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 1, 0, 0,   255, 255, 255, 255, 255, 240, // baud
                                         255, 250, 44, 2, 7, 255, 240,                          // data size
                                         255, 250, 44, 3, 3, 255, 240,                          // even
                                         255, 250, 44, 4, 2, 255, 240,                          // two stop bits
                                         255, 250, 44, 5, 3, 255, 240,                          // RTS/CTS
                                         255, 250, 44, 5, 8, 255, 240}));                       // DTR on
    line.params.parity = 0;
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 3, 1, 255, 240}));
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput(), "");

    // Answers: the parity as asked is fine, a baud rate the server could not set is reported.
    Feed(codec, Bytes({255, 250, 44, 103, 1, 255, 240, 255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240}));
    events = codec.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, TelnetEvent::Kind::Mismatch);
    EXPECT_EQ(events[0].command, 1);
    EXPECT_EQ(events[0].asked, 65535u);
    EXPECT_EQ(events[0].value, 9600u);

    // A second change may leave before the first is answered: answers in order are no mismatch.
    line.params.baud = 300;
    codec.SendSettings(line);
    line.params.baud = 600;
    codec.SendSettings(line);
    Feed(codec, Bytes({255, 250, 44, 101, 0, 0, 1, 0x2c, 255, 240, 255, 250, 44, 101, 0, 0, 2, 0x58, 255, 240}));
    EXPECT_TRUE(codec.TakeEvents().empty());

    // A new connection sends everything again.
    codec.Start();
    codec.TakeOutput();
    Feed(codec, kAccept);
    codec.SendSettings(line);
    EXPECT_EQ(codec.TakeOutput().size(), 6 * 7u + 3); // six commands, the baud rate three bytes longer
}

TEST(TelnetCodec, RefusesOtherOptionsAndAnswersPurge) {
    TelnetCodec codec;
    codec.Start();
    codec.TakeOutput();
    // WILL ECHO, WILL SGA, DO TERMINAL-TYPE, WONT/DONT of something never on: refused or ignored.
    Feed(codec, Bytes({255, 251, 1, 255, 251, 3, 255, 253, 24, 255, 252, 5, 255, 254, 6}));
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 254, 1, 255, 254, 3, 255, 252, 24}));
    // A PURGE-DATA from the server is answered; notifications are taken.
    Feed(codec, Bytes({255, 250, 44, 12, 3, 255, 240, 255, 250, 44, 106, 0x60, 255, 240}));
    EXPECT_EQ(codec.TakeOutput(), Bytes({255, 250, 44, 112, 3, 255, 240}));
    auto events = codec.TakeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, TelnetEvent::Kind::Purge);
    EXPECT_EQ(events[1].kind, TelnetEvent::Kind::LineState);
    EXPECT_EQ(events[1].value, 0x60u);

    // A server that will not do COM port control: plain escaped Telnet, and no settings ever sent.
    Feed(codec, Bytes({255, 254, 44}));
    EXPECT_TRUE(codec.ComPortSettled());
    EXPECT_FALSE(codec.ComPortAccepted());
    EXPECT_EQ(codec.TakeEvents()[0].kind, TelnetEvent::Kind::ComPortRefused);
    codec.SendSettings(Settings(9600, 0, 8, 1, 0));
    EXPECT_EQ(codec.TakeOutput(), "");
}

TEST(TelnetCodec, BadStreamsAreBoundedAndTheUnreadableOnesRefused) {
    TelnetCodec codec;
    codec.Start();
    bool ok = false;
    // 64 KiB of IAC: 32 KiB of 0xFF data.
    EXPECT_EQ(Feed(codec, std::string(64 * 1024, '\xff')), std::string(32 * 1024, '\xff'));
    // IAC SE without SB, and the one-byte commands, carry nothing.
    EXPECT_EQ(Feed(codec, Bytes({'a', 255, 240, 255, 246, 'b'})), "ab");

    for (const std::string& bad : {
             "\xff\xfa," + std::string(TelnetCodec::kMaxSubnegotiation + 1, 'z'), // never ends
             Bytes({255, 250, 44, 1, 0, 255, 251, 1}),                            // cut short by a command
             Bytes({255, 'A'}),                                                   // not Telnet at all
         }) {
        TelnetCodec fresh;
        Feed(fresh, bad, &ok);
        EXPECT_FALSE(ok) << bad.size();
    }
    // The longest subnegotiation allowed still goes through.
    TelnetCodec longest;
    Feed(longest, "\xff\xfa," + std::string(TelnetCodec::kMaxSubnegotiation, 'z') + "\xff\xf0" + "ok", &ok);
    EXPECT_TRUE(ok);
}
