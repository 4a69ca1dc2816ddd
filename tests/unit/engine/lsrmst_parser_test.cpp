#include "engine/lsrmst_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace kavrel::engine;

// What each in-band event means; split streams and the ranges of reports are the fuzzer's to prove.
TEST(LsrMstParser, SeparatesDataFromReportsAndCountsUnknownCodes) {
    auto feed = [](LsrMstParser& parser, const std::string& in) {
        std::vector<char> data;
        parser.Feed(in.data(), in.size(), data);
        return std::string(data.begin(), data.end());
    };
    // ESC 0: the escape as data; 1: a line status (break) with its data byte; 3: a modem status (DSR and CTS
    // up); the pair driver's 0x10: baud rate 115200, 0x11: line control (two stop bits, even, 7); 0x42: unknown.
    LsrMstParser parser('\x1b', {0x10, 0x11});
    EXPECT_EQ(
        feed(parser, std::string("x\x1b\0y\x1b\1\x10z\x1b\3\x30\x1b\x10\x00\xc2\x01\x00\x1b\x11\2\2\7\x1b\x42w", 25)),
        "x\x1byzw");
    auto r = parser.TakeReport();
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->baud, r->stopBits, r->parity, r->dataBits, r->dtr, r->rts, r->breakOn),
              std::make_tuple(115200, 2, 2, 7, true, true, true));
    EXPECT_EQ(parser.LastLineStatus(), 0x10);
    EXPECT_EQ(parser.UnknownCodes(), 1u);
    EXPECT_FALSE(parser.TakeReport());
    // Without the pair driver's codes its events are unknown; with escape 0 everything is data.
    LsrMstParser plain('\x1b'), off(0);
    EXPECT_EQ(feed(plain, "\x1b\x10z"), "z");
    EXPECT_EQ(feed(off, std::string("\0\3\1", 3)), std::string("\0\3\1", 3));
}
