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
    for (wchar_t key : {8, 3, 22, 24}) // Backspace, Ctrl+C, Ctrl+V, Ctrl+X
        EXPECT_TRUE(AcceptsTypedChar(kDigits, key)) << int(key);
    EXPECT_FALSE(AcceptsTypedChar(kDigits, 1)) << "Ctrl+A is no exception";
    EXPECT_FALSE(AcceptsTypedChar(L"abc", L'A')) << "the search is exact and case-sensitive";
    EXPECT_FALSE(AcceptsTypedChar(L"abc", L'\u00E4'));
    EXPECT_TRUE(AcceptsTypedChar(L"\u00E4", L'\u00E4'));
    for (wchar_t c : {L'a', L' ', L'\u20AC', wchar_t{1}})
        EXPECT_TRUE(AcceptsTypedChar(L"", c)) << "an empty set accepts everything";
}

TEST(PastedText, GoesInWholeOrNotAtAll) {
    EXPECT_TRUE(AcceptsPastedText(kDigits, L"42"));
    EXPECT_FALSE(AcceptsPastedText(kDigits, L"42a")) << "one bad character refuses the whole paste";
    EXPECT_FALSE(AcceptsPastedText(kDigits, std::wstring_view(L"4\0"
                                                              L"2",
                                                              3)))
        << "an embedded NUL is a character";
    EXPECT_TRUE(AcceptsPastedText(kDigits, L"")) << "nothing to paste breaks no rule";
    EXPECT_FALSE(AcceptsPastedText(kDigits, L"\b")) << "the typing exceptions are keys, not text";
    EXPECT_TRUE(AcceptsPastedText(L"", L"COM12 \u00FC")) << "an empty set accepts every paste as it does typing";
}
