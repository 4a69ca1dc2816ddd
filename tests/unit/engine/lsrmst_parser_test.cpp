#include "engine/lsrmst_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace kavrel::engine;

namespace {
constexpr char kEsc = '\x1b';
const LsrMstParser::Extensions kPair{0x10, 0x11};

std::string Feed(LsrMstParser& parser, const std::string& in) {
    std::vector<char> data;
    parser.Feed(in.data(), in.size(), data);
    return std::string(data.begin(), data.end());
}
} // namespace

// How a split stream reads is the fuzzer's business (its seeds hold this stream); here, what each event means.
TEST(LsrMstParser, SeparatesDataFromReports) {
    // The escape as data, a line status with its data byte (break), a modem status (DSR and CTS up), the pair
    // driver's baud rate (115200) and line control (two stop bits, even, 7).
    LsrMstParser parser(kEsc, kPair);
    EXPECT_EQ(Feed(parser, std::string("a") + kEsc + '\0' + "b" + kEsc + '\1' + '\x10' + 'c' + kEsc + '\3' + '\x30' +
                               kEsc + '\x10' + std::string("\x00\xc2\x01\x00", 4) + kEsc + '\x11' + '\2' + '\2' + '\7' +
                               "d"),
              std::string("a") + kEsc + "bcd");
    auto r = parser.TakeReport();
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->baud, r->stopBits, r->parity, r->dataBits, r->dtr, r->rts, r->breakOn),
              std::make_tuple(115200, 2, 2, 7, true, true, true));
    EXPECT_EQ(parser.LastLineStatus(), 0x10);
    EXPECT_FALSE(parser.TakeReport());
}

TEST(LsrMstParser, RefusesNonsenseAndUnknownCodes) {
    LsrMstParser parser(kEsc, kPair);
    // A word length of 9, a baud rate of 0, a code nobody named, a modem status with everything down.
    EXPECT_EQ(Feed(parser, std::string("x") + kEsc + '\x11' + '\0' + '\0' + '\x09' + kEsc + '\x10' +
                               std::string(4, '\0') + kEsc + '\x42' + "y" + kEsc + '\3' + '\0'),
              "xy");
    EXPECT_EQ(parser.UnknownCodes(), 1u);
    auto report = parser.TakeReport();
    ASSERT_TRUE(report);
    EXPECT_EQ(std::tie(report->baud, report->dataBits, report->dtr),
              std::make_tuple(std::nullopt, std::nullopt, false));
    // Without the pair driver's codes its events are unknown; with escape 0 everything is data.
    LsrMstParser plain(kEsc);
    EXPECT_EQ(Feed(plain, std::string(1, kEsc) + '\x10' + "z"), "z");
    LsrMstParser off(0);
    EXPECT_EQ(Feed(off, std::string("\0\3\1", 3)), std::string("\0\3\1", 3));
}
