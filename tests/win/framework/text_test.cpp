#include "framework/Text.h"

#include <gtest/gtest.h>

#include <windows.h>

using kavrel::win::FromAnsi;
using kavrel::win::ToAnsi;

TEST(Text, ConvertsThroughTheAnsiCodePageAndFailsForTextItLacks) {
    EXPECT_EQ(ToAnsi(L"198.18.1.10;23;100").value(), "198.18.1.10;23;100");
    EXPECT_EQ(ToAnsi(L"").value(), "");
    // U+00FC is in every Western ANSI code page; its byte there is what the system says it is.
    char expected[4] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00FC", 1, expected, 4, nullptr, nullptr), 1);
    EXPECT_EQ(ToAnsi(L"\u00FC").value(), std::string(expected, 1));
    EXPECT_EQ(FromAnsi(std::string(expected, 1)), L"\u00FC");

    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "UTF-8 holds every character";
    // No ANSI code page has both; the conversion must fail rather than send '?' or a look-alike.
    EXPECT_FALSE(ToAnsi(L"host-\u4E2D\u0416").has_value());
    EXPECT_FALSE(ToAnsi(L"\u0100").has_value()) << "best fit would give 'A'";
}
