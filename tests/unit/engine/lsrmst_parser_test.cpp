#include "engine/lsrmst_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kavrel::engine;

namespace {
constexpr char kEsc = '\x1b';
const LsrMstParser::Extensions kPair{0x10, 0x11};

std::string Feed(LsrMstParser& parser, const std::string& in, bool byteByByte = false) {
    std::vector<char> data;
    if (byteByByte) {
        for (char c : in) {
            parser.Feed(&c, 1, data);
        }
    } else {
        parser.Feed(in.data(), in.size(), data);
    }
    return std::string(data.begin(), data.end());
}
} // namespace

TEST(LsrMstParser, SeparatesDataFromReportsHoweverSplit) {
    // Data around every kind of event: the escape as data, a line status with its data byte, a modem status
    // (DSR and CTS up), and the pair driver's baud rate (115200) and line control (two stop bits, even, 7).
    const std::string stream = std::string("a") + kEsc + '\0' + "b" + kEsc + '\1' + '\x10' + 'c' + kEsc + '\3' +
                               '\x30' + kEsc + '\x10' + std::string("\x00\xc2\x01\x00", 4) + kEsc + '\x11' + '\2' +
                               '\2' + '\7' + "d";
    for (bool byteByByte : {false, true}) {
        LsrMstParser parser(kEsc, kPair);
        EXPECT_EQ(Feed(parser, stream, byteByByte), std::string("a") + kEsc + "bcd");
        auto report = parser.TakeReport();
        ASSERT_TRUE(report);
        EXPECT_EQ(report->baud, 115200);
        EXPECT_EQ(report->stopBits, 2);
        EXPECT_EQ(report->parity, 2);
        EXPECT_EQ(report->dataBits, 7);
        EXPECT_EQ(report->dtr, true);
        EXPECT_EQ(report->rts, true);
        EXPECT_EQ(report->breakOn, true); // the line status had the break bit
        EXPECT_EQ(parser.LastLineStatus(), 0x10);
        EXPECT_FALSE(parser.TakeReport());
    }
}

TEST(LsrMstParser, RefusesNonsenseAndUnknownCodes) {
    LsrMstParser parser(kEsc, kPair);
    // Line control with a word length of 9, a baud rate of 0, a code nobody named, a modem status with
    // everything down.
    EXPECT_EQ(Feed(parser, std::string("x") + kEsc + '\x11' + '\0' + '\0' + '\x09' + kEsc + '\x10' +
                               std::string(4, '\0') + kEsc + '\x42' + "y" + kEsc + '\3' + '\0'),
              "xy");
    EXPECT_EQ(parser.UnknownCodes(), 1u);
    auto report = parser.TakeReport();
    ASSERT_TRUE(report);
    EXPECT_FALSE(report->baud);
    EXPECT_FALSE(report->dataBits);
    EXPECT_EQ(report->dtr, false);
    // Without the pair driver's codes its events are unknown; with escape 0 everything is data.
    LsrMstParser plain(kEsc);
    EXPECT_EQ(Feed(plain, std::string(1, kEsc) + '\x10' + "z"), "z");
    LsrMstParser off(0);
    EXPECT_EQ(Feed(off, std::string("\0\3\1", 3)), std::string("\0\3\1", 3));
}
