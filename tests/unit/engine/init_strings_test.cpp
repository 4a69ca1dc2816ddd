#include "engine/init_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace kavrel::engine;

namespace {
std::string Splitter(const std::string& params) {
    return "100;12;0;" + params + ";0;0;0";
}
std::string Client(const std::string& hostPort, const std::string& rest = ";100;2400,0,8,1,2,-1;0;10;;0;0") {
    return hostPort + rest;
}
} // namespace

TEST(InitStrings, FieldsLandWhereTheyBelong) {
    auto c = ParseConnector("12;1");
    ASSERT_TRUE(c);
    EXPECT_EQ(std::tie(c->comNumber, c->flag), std::make_tuple(12, 1));
    auto s = ParseSplitter("7;3;0;115200,2,7,2,0,5;0;0;0");
    ASSERT_TRUE(s);
    const SerialParams& p = s->params;
    EXPECT_EQ(std::tie(s->linkNumber, s->comNumber, p.baud, p.parity, p.dataBits, p.stopBits, p.flowControl, p.extra),
              std::make_tuple(7, 3, 115200, 2, 7, 2, 0, 5));
    auto t = ParseTcpClient("10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->host, (std::array<std::uint8_t, 4>{10, 0, 0, 7}));
    EXPECT_EQ(std::tie(t->port, t->linkNumber, t->connectTimeoutSeconds, t->rfc2217),
              std::make_tuple(std::uint16_t{23}, 100, 10, true));
    EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23"))->rfc2217);
}

// Baud 1..4 000 000, parity 0..4, data bits 5..8, stop bits 0..2, flow 0..3, and exactly six of them.
TEST(InitStrings, SerialParametersOnlyInRange) {
    const std::pair<const char*, bool> cases[] = {
        {"1,0,5,0,0,-1", true},        {"4000000,4,8,2,3,7", true},  {"0,0,8,1,2,-1", false},
        {"4000001,0,8,1,2,-1", false}, {"2400,-1,8,1,2,-1", false},  {"2400,5,8,1,2,-1", false},
        {"2400,0,4,1,2,-1", false},    {"2400,0,9,1,2,-1", false},   {"2400,0,8,-1,2,-1", false},
        {"2400,0,8,3,2,-1", false},    {"2400,0,8,1,-1,-1", false},  {"2400,0,8,1,4,-1", false},
        {"2400,0,8,1,2", false},       {"2400,0,8,1,2,-1,0", false}, {"2400,,8,1,2,-1", false},
    };
    for (auto [params, ok] : cases) {
        EXPECT_EQ(ParseSplitter(Splitter(params)).has_value(), ok) << params;
        EXPECT_EQ(ParseTcpClient(Client("10.0.0.7;23", std::string(";100;") + params + ";0;10;;0;0")).has_value(), ok)
            << params;
    }
}

TEST(InitStrings, AnythingOutOfShapeMakesNothing) {
    EXPECT_TRUE(ParseConnector("255;0"));
    for (const char* bad : {"", "12", "12;", ";1", "0;1", "256;1", "12;2", "12;-1", "12;1;", " 12;1", "12 ;1", "+12;1",
                            "12;1x", "99999999999999999999;1"}) {
        EXPECT_FALSE(ParseConnector(bad)) << bad;
    }
    EXPECT_TRUE(ParseSplitter("0;255;0;2400,0,8,1,2,-1;0;0;0"));
    for (const char* bad :
         {"100;12;0;2400,0,8,1,2,-1;0;0", "100;12;0;2400,0,8,1,2,-1;0;0;0;0", "100;0;0;2400,0,8,1,2,-1;0;0;0",
          "100;256;0;2400,0,8,1,2,-1;0;0;0", "-1;12;0;2400,0,8,1,2,-1;0;0;0", "100;12;x;2400,0,8,1,2,-1;0;0;0",
          "100;12;0;2400,0,8,1,2,-1;0;0;"}) {
        EXPECT_FALSE(ParseSplitter(bad)) << bad;
    }
    EXPECT_TRUE(ParseTcpClient(Client("255.255.255.255;65535")));
    EXPECT_TRUE(ParseTcpClient(Client("0.0.0.0;1")));
    // Only dotted decimal: a leading zero would read as octal elsewhere.
    for (const char* bad :
         {"10.0.0.7;0", "10.0.0.7;65536", "10.0.0.7;-23", "10.0.0.7;23x", "device.local;23", "10.0.7;23",
          "10.0.0.7.1;23", "10.0.0.256;23", "10.0.0.07;23", "10.0..7;23", "10.0.0.-1;23", " 10.0.0.7;23", ";23"}) {
        EXPECT_FALSE(ParseTcpClient(Client(bad))) << bad;
    }
    for (const char* bad :
         {";100;2400,0,8,1,2,-1;0;10;;0", ";100;2400,0,8,1,2,-1;0;10;;0;0;", ";100;2400,0,8,1,2,-1;0;-1;;0;0",
          ";;2400,0,8,1,2,-1;0;10;;0;0", ";-1;2400,0,8,1,2,-1;0;10;;0;0", ";100;2400,0,8,1,2,-1;0;10;;0;0;RFC2217",
          ";100;2400,0,8,1,2,-1;0;10;;0;0;raw", ";100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217;",
          ";100;2400,0,8,1,2,-1;0;10;;0;rfc2217"}) {
        EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23", bad))) << bad;
    }
}
