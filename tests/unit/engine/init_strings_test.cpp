#include "engine/init_strings.h"

#include <gtest/gtest.h>

#include <string>

using namespace kavrel::engine;

namespace {
const std::string kParams = "2400,0,8,1,2,-1";
std::string Client(const std::string& hostPort, const std::string& link = "100", const std::string& params = kParams,
                   const std::string& rest = ";0;10;;0;0") {
    return hostPort + ";" + link + ";" + params + rest;
}
} // namespace

// Baud 1..4 000 000, parity 0..4, data bits 5..8, stop bits 0..2, flow 0..3, and exactly six of them.
TEST(InitStrings, SerialParametersOnlyInRange) {
    auto expect = [](const std::string& params, bool ok) {
        EXPECT_EQ(ParseSplitter("100;12;0;" + params + ";0;0;0").has_value(), ok) << params;
        EXPECT_EQ(ParseTcpClient(Client("1.2.3.4;5", "6", params)).has_value(), ok) << params;
    };
    expect("1,0,5,0,0,-1", true);
    expect("4000000,4,8,2,3,7", true);
    for (const char* params :
         {"0,0,8,1,2,-1", "4000001,0,8,1,2,-1", "2400,-1,8,1,2,-1", "2400,5,8,1,2,-1", "2400,0,4,1,2,-1",
          "2400,0,9,1,2,-1", "2400,0,8,-1,2,-1", "2400,0,8,3,2,-1", "2400,0,8,1,-1,-1", "2400,0,8,1,4,-1",
          "2400,0,8,1,2", "2400,0,8,1,2,-1,0", "2400,,8,1,2,-1"})
        expect(params, false);
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
    for (const char* bad : {"10.0.0.7;0", "10.0.0.7;65536", "10.0.0.7;-23", "10.0.0.7;23x", "10.0.0.7;4294967319",
                            "10.0.0.7;-2147483648", "device.local;23", "10.0.7;23", "10.0.0.7.1;23", "10.0.0.256;23",
                            "10.0.0.07;23", "10.0..7;23", "10.0.0.-1;23", " 10.0.0.7;23", ";23"})
        EXPECT_FALSE(ParseTcpClient(Client(bad))) << bad;
    EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23", "")) || ParseTcpClient(Client("10.0.0.7;23", "-1")));
    // A tenth field may only say rfc2217. (Where each field lands, the engine's tests show.)
    auto raw = ParseTcpClient(Client("10.0.0.7;23")),
         rfc2217 = ParseTcpClient(Client("1.2.3.4;5", "6", kParams, ";0;10;;0;0;rfc2217"));
    EXPECT_TRUE(raw && !raw->rfc2217 && rfc2217 && rfc2217->rfc2217);
    for (const char* bad : {";0;10;;0", ";0;10;;0;0;", ";0;-1;;0;0", ";0;10;;0;0;RFC2217", ";0;10;;0;0;raw",
                            ";0;10;;0;0;rfc2217;", ";0;10;;0;rfc2217"})
        EXPECT_FALSE(ParseTcpClient(Client("10.0.0.7;23", "100", kParams, bad))) << bad;
}
