#include "framework/Text.h"

#include <gtest/gtest.h>

#include <windows.h>

using kavrel::win::FromAnsi;
using kavrel::win::ToAnsi;

TEST(Text, ConvertsThroughTheAnsiCodePage) {
    EXPECT_EQ(ToAnsi(L"198.18.1.10;23;100;2400,0,8,1,2,-1;0;10;;0;0").value(),
              "198.18.1.10;23;100;2400,0,8,1,2,-1;0;10;;0;0");
    EXPECT_EQ(ToAnsi(L"").value(), "");
    EXPECT_EQ(FromAnsi(std::string("a\0b", 3)), std::wstring(L"a\0b", 3)) << "an embedded zero is kept";
    // U+00FC is in every Western ANSI code page; its byte there is what the system says it is.
    char expected[4] = {};
    const wchar_t u[] = L"\u00FC";
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u, 1, expected, 4, nullptr, nullptr), 1);
    EXPECT_EQ(ToAnsi(u).value(), std::string(expected, 1));
    EXPECT_EQ(FromAnsi(std::string(expected, 1)), std::wstring(u));
}

// No ANSI code page has both; the conversion must fail rather than send '?' or a look-alike.
TEST(Text, TextTheCodePageLacksHasNoAnsiForm) {
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "UTF-8 holds every character";
    EXPECT_FALSE(ToAnsi(L"host-\u4E2D\u0416").has_value());
    EXPECT_FALSE(ToAnsi(L"\u0100").has_value()) << "best fit would give 'A'";
}
