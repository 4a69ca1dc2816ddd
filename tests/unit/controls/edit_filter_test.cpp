// The text box's character and paste filters.

#include "controls/edit_filter.h"

#include <gtest/gtest.h>

using namespace kavrel;

namespace {
constexpr std::wstring_view kDigits = L"0123456789";
}

TEST(TypedChars, OnlyValidCharactersAndTheEditingKeysPass) {
    EXPECT_TRUE(AcceptsTypedChar(kDigits, L'0'));
    EXPECT_TRUE(AcceptsTypedChar(kDigits, L'9'));
    EXPECT_FALSE(AcceptsTypedChar(kDigits, L'a'));
    EXPECT_FALSE(AcceptsTypedChar(kDigits, L' '));
    EXPECT_TRUE(AcceptsTypedChar(kDigits, 8)) << "Backspace";
    EXPECT_TRUE(AcceptsTypedChar(kDigits, 3)) << "Ctrl+C";
    EXPECT_TRUE(AcceptsTypedChar(kDigits, 22)) << "Ctrl+V";
    EXPECT_TRUE(AcceptsTypedChar(kDigits, 24)) << "Ctrl+X";
    EXPECT_FALSE(AcceptsTypedChar(kDigits, 1)) << "Ctrl+A is no exception";
    EXPECT_FALSE(AcceptsTypedChar(kDigits, 26)) << "Ctrl+Z is no exception";
}

TEST(TypedChars, TheSearchIsExactAndCaseSensitive) {
    EXPECT_TRUE(AcceptsTypedChar(L"abcABC", L'a'));
    EXPECT_FALSE(AcceptsTypedChar(L"abc", L'A'));
    EXPECT_FALSE(AcceptsTypedChar(L"abc", L'\u00E4'));
    EXPECT_TRUE(AcceptsTypedChar(L"\u00E4", L'\u00E4'));
}

TEST(TypedChars, AnEmptySetAcceptsEverything) {
    for (wchar_t c : {L'a', L'0', L' ', L'\u20AC', wchar_t{1}, wchar_t{127}})
        EXPECT_TRUE(AcceptsTypedChar(L"", c)) << int(c);
}

TEST(PastedText, GoesInWholeOrNotAtAll) {
    EXPECT_TRUE(AcceptsPastedText(kDigits, L"42"));
    EXPECT_FALSE(AcceptsPastedText(kDigits, L"42a")) << "one bad character refuses the whole paste";
    EXPECT_FALSE(AcceptsPastedText(kDigits, L"a42"));
    EXPECT_FALSE(AcceptsPastedText(kDigits, std::wstring_view(L"4\0"
                                                              L"2",
                                                              3)))
        << "an embedded NUL is a character";
    EXPECT_TRUE(AcceptsPastedText(kDigits, L"")) << "nothing to paste breaks no rule";
    EXPECT_FALSE(AcceptsPastedText(kDigits, L"\b")) << "the typing exceptions are keys, not text";
}

TEST(PastedText, AnEmptySetAcceptsEveryPasteAsItDoesTyping) {
    EXPECT_TRUE(AcceptsPastedText(L"", L"COM12 \u00FC"));
    for (wchar_t c : {L'x', L'#', L'\u00FC'})
        EXPECT_EQ(AcceptsPastedText(L"", std::wstring(1, c)), AcceptsTypedChar(L"", c));
}
