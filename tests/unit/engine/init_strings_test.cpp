#include "engine/init_strings.h"

#include <gtest/gtest.h>

using namespace kavrel::engine;

TEST(InitStrings, ConnectorTakesComNumberAndFlag) {
    auto c = ParseConnector("12;1");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->comNumber, 12);
    EXPECT_EQ(c->flag, 1);
    EXPECT_TRUE(ParseConnector("1;0"));
    EXPECT_TRUE(ParseConnector("255;1"));
    for (const char* bad : {"", "12", "12;", ";1", "0;1", "256;1", "12;2", "12;-1", "12;1;", " 12;1", "12 ;1", "+12;1",
                            "x;1", "12;1x", "-3;1", "99999999999999999999;1"}) {
        EXPECT_FALSE(ParseConnector(bad)) << bad;
    }
}

TEST(InitStrings, SplitterKeepsLinkPortAndSerialParameters) {
    auto s = ParseSplitter("100;12;0;2400,0,8,1,2,-1;0;0;0");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->linkNumber, 100);
    EXPECT_EQ(s->comNumber, 12);
    EXPECT_EQ(s->params.baud, 2400);
    EXPECT_EQ(s->params.parity, 0);
    EXPECT_EQ(s->params.dataBits, 8);
    EXPECT_EQ(s->params.stopBits, 1);
    EXPECT_EQ(s->params.flowControl, 2);
    EXPECT_EQ(s->params.extra, -1);
    auto odd = ParseSplitter("7;3;0;115200,2,7,2,0,5;0;0;0");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->params.baud, 115200);
    EXPECT_EQ(odd->params.parity, 2);
    EXPECT_EQ(odd->params.dataBits, 7);
    EXPECT_EQ(odd->params.stopBits, 2);
    for (const char* bad : {
             "100;12;0;2400,0,8,1,2,-1;0;0",     // a field short
             "100;12;0;2400,0,8,1,2,-1;0;0;0;0", // a field more
             "100;0;0;2400,0,8,1,2,-1;0;0;0",    // COM0
             "100;256;0;2400,0,8,1,2,-1;0;0;0",  // COM256
             "-1;12;0;2400,0,8,1,2,-1;0;0;0",    // negative link number
             "100;12;x;2400,0,8,1,2,-1;0;0;0",   // not a number
             "100;12;0;2400,0,8,1,2;0;0;0",      // five serial parameters
             "100;12;0;2400,0,8,1,2,-1,0;0;0;0", // seven
             "100;12;0;0,0,8,1,2,-1;0;0;0",      // no baud rate
             "100;12;0;2400,5,8,1,2,-1;0;0;0",   // parity
             "100;12;0;2400,0,9,1,2,-1;0;0;0",   // data bits
             "100;12;0;2400,0,4,1,2,-1;0;0;0",   // data bits
             "100;12;0;2400,0,8,3,2,-1;0;0;0",   // stop bits
             "100;12;0;2400,0,8,1,2,-1;0;0;",    // empty number
             "100;12;0;2400,,8,1,2,-1;0;0;0",    // empty parameter
         }) {
        EXPECT_FALSE(ParseSplitter(bad)) << bad;
    }
}

TEST(InitStrings, TcpClientTakesIpv4PortLinkAndInterval) {
    auto t = ParseTcpClient("10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->host, (std::array<std::uint8_t, 4>{10, 0, 0, 7}));
    EXPECT_EQ(t->port, 23);
    EXPECT_EQ(t->linkNumber, 100);
    EXPECT_EQ(t->connectTimeoutSeconds, 10);
    EXPECT_TRUE(ParseTcpClient("255.255.255.255;65535;0;2400,0,8,1,2,-1;0;0;;0;0"));
    EXPECT_TRUE(ParseTcpClient("0.0.0.0;1;0;2400,0,8,1,2,-1;0;10;;0;0"));
    for (const char* bad : {
             "10.0.0.7;0;100;2400,0,8,1,2,-1;0;10;;0;0",     // port 0
             "10.0.0.7;65536;100;2400,0,8,1,2,-1;0;10;;0;0", // port too big
             "10.0.0.7;-23;100;2400,0,8,1,2,-1;0;10;;0;0", "10.0.0.7;23x;100;2400,0,8,1,2,-1;0;10;;0;0",
             "device.local;23;100;2400,0,8,1,2,-1;0;10;;0;0", // a name, not an address
             "10.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0",       // three parts
             "10.0.0.7.1;23;100;2400,0,8,1,2,-1;0;10;;0;0", "10.0.0.256;23;100;2400,0,8,1,2,-1;0;10;;0;0",
             "10.0.0.07;23;100;2400,0,8,1,2,-1;0;10;;0;0", // leading zero reads as octal elsewhere
             "10.0..7;23;100;2400,0,8,1,2,-1;0;10;;0;0", "10.0.0.-1;23;100;2400,0,8,1,2,-1;0;10;;0;0",
             " 10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0", ";23;100;2400,0,8,1,2,-1;0;10;;0;0",
             "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0",    // a field short
             "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;", // a field more
             "10.0.0.7;23;100;2400,0,8,1,2,-1;0;-1;;0;0",  // negative interval
             "10.0.0.7;23;;2400,0,8,1,2,-1;0;10;;0;0",     // no link number
             "10.0.0.7;23;100;2400,0,8;0;10;;0;0",         // serial parameters cut short
         }) {
        EXPECT_FALSE(ParseTcpClient(bad)) << bad;
    }
}

TEST(InitStrings, TcpClientSpeaksRfc2217OnlyWhenTheTenthFieldSaysSo) {
    EXPECT_FALSE(ParseTcpClient("10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0")->rfc2217);
    auto t = ParseTcpClient("10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217");
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->rfc2217);
    EXPECT_EQ(t->port, 23);
    for (const char* bad :
         {"10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;RFC2217", "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;raw",
          "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0;rfc2217;", "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;rfc2217"}) {
        EXPECT_FALSE(ParseTcpClient(bad)) << bad;
    }
}
