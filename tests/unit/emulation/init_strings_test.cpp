#include "emulation/init_strings.h"

#include <gtest/gtest.h>

using namespace kavrel;

TEST(InitStrings, ExamplesOfALinkOnCom12) {
    EXPECT_EQ(ConnectorInit(L"COM12"), L"12;1");
    EXPECT_EQ(SplitterInit(100, L"COM12"), L"100;12;0;2400,0,8,1,2,-1;0;0;0");
    EXPECT_EQ(TcpClientInit(L"10.0.0.7", L"23", 100), L"10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0");
}

TEST(InitStrings, ComNumberDropsTheFirstThreeCharacters) {
    EXPECT_EQ(ComNumber(L"COM5"), L"5");
    EXPECT_EQ(ComNumber(L"COM99"), L"99");
    EXPECT_EQ(ComNumber(L"COM"), L"");
    EXPECT_EQ(ComNumber(L"CO"), L"");
    EXPECT_EQ(ComNumber(L""), L"");
    EXPECT_EQ(ConnectorInit(L"COM"), L";1");
    EXPECT_EQ(SplitterInit(101, L""), L"101;;0;2400,0,8,1,2,-1;0;0;0");
}

TEST(InitStrings, CellTextsGoInAsTheyStand) {
    EXPECT_EQ(TcpClientInit(L"", L"", 102), L";;102;2400,0,8,1,2,-1;0;10;;0;0");
    EXPECT_EQ(TcpClientInit(L"host name", L"x;y", 100), L"host name;x;y;100;2400,0,8,1,2,-1;0;10;;0;0");
}
