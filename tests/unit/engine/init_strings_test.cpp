#include "engine/init_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace kavrel::engine;

namespace {
const std::string kParams = "2400,0,8,1,2,-1";
std::string Splitter(const std::string& params) {
    return "100;12;0;" + params + ";0;0;0";
}
std::string Client(const std::string& hostPort, const std::string& link = "100", const std::string& params = kParams,
                   const std::string& rest = ";0;10;;0;0") {
    return hostPort + ";" + link + ";" + params + rest;
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
    auto t = ParseTcpClient(Client("10.0.0.7;23", "100", kParams, ";0;10;;0;0;rfc2217"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->host, (std::array<std::uint8_t, 4>{10, 0, 0, 7}));
    EXPECT_EQ(std::tie(t->port, t->linkNumber, t->connectTimeoutSeconds, t->rfc2217),
              std::make_tuple(std::uint16_t{23}, 100, 10, true));
    EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23"))->rfc2217);
}

// Baud 1..4 000 000, parity 0..4, data bits 5..8, stop bits 0..2, flow 0..3, and exactly six of them.
TEST(InitStrings, SerialParametersOnlyInRange) {
    for (const char* params : {"1,0,5,0,0,-1", "4000000,4,8,2,3,7"})
        EXPECT_TRUE(ParseSplitter(Splitter(params)) && ParseTcpClient(Client("1.2.3.4;5", "6", params))) << params;
    for (const char* params :
         {"0,0,8,1,2,-1", "4000001,0,8,1,2,-1", "2400,-1,8,1,2,-1", "2400,5,8,1,2,-1", "2400,0,4,1,2,-1",
          "2400,0,9,1,2,-1", "2400,0,8,-1,2,-1", "2400,0,8,3,2,-1", "2400,0,8,1,-1,-1", "2400,0,8,1,4,-1",
          "2400,0,8,1,2", "2400,0,8,1,2,-1,0", "2400,,8,1,2,-1"})
        EXPECT_FALSE(ParseSplitter(Splitter(params)) || ParseTcpClient(Client("1.2.3.4;5", "6", params))) << params;
}

TEST(InitStrings, AnythingOutOfShapeMakesNothing) {
    EXPECT_TRUE(ParseConnector("255;0"));
    for (const char* bad : {"", "12", "12;", ";1", "0;1", "256;1", "12;2", "12;-1", "12;1;", " 12;1", "12 ;1", "+12;1",
                            "12;1x", "99999999999999999999;1"})
        EXPECT_FALSE(ParseConnector(bad)) << bad;
    EXPECT_TRUE(ParseSplitter("0;255;0;2400,0,8,1,2,-1;0;0;0"));
    for (const char* bad :
         {"100;12;0;2400,0,8,1,2,-1;0;0", "100;12;0;2400,0,8,1,2,-1;0;0;0;0", "100;0;0;2400,0,8,1,2,-1;0;0;0",
          "100;256;0;2400,0,8,1,2,-1;0;0;0", "-1;12;0;2400,0,8,1,2,-1;0;0;0", "100;12;x;2400,0,8,1,2,-1;0;0;0",
          "100;12;0;2400,0,8,1,2,-1;0;0;"})
        EXPECT_FALSE(ParseSplitter(bad)) << bad;
    EXPECT_TRUE(ParseTcpClient(Client("255.255.255.255;65535", "0")) && ParseTcpClient(Client("0.0.0.0;1")));
    // Only dotted decimal: a leading zero would read as octal elsewhere.
    for (const char* bad :
         {"10.0.0.7;0", "10.0.0.7;65536", "10.0.0.7;-23", "10.0.0.7;23x", "device.local;23", "10.0.7;23",
          "10.0.0.7.1;23", "10.0.0.256;23", "10.0.0.07;23", "10.0..7;23", "10.0.0.-1;23", " 10.0.0.7;23", ";23"})
        EXPECT_FALSE(ParseTcpClient(Client(bad))) << bad;
    EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23", "")) || ParseTcpClient(Client("10.0.0.7;23", "-1")));
    // A tenth field may only say rfc2217.
    for (const char* bad : {";0;10;;0", ";0;10;;0;0;", ";0;-1;;0;0", ";0;10;;0;0;RFC2217", ";0;10;;0;0;raw",
                            ";0;10;;0;0;rfc2217;", ";0;10;;0;rfc2217"})
        EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23", "100", kParams, bad))) << bad;
}
