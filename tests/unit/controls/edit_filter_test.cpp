// The text box's character and paste filters.

#include "controls/edit_filter.h"

#include <gtest/gtest.h>

using namespace kavrel;

TEST(EditFilter, TypingPassesValidCharactersAndTheEditingKeys) {
    for (wchar_t c : {L'0', L'9', wchar_t{8}, wchar_t{3}, wchar_t{22}, wchar_t{24}}) // Backspace, Ctrl+C, V, X
        EXPECT_TRUE(AcceptsTypedChar(L"0123456789", c)) << int(c);
    for (wchar_t c : {L'a', wchar_t{1}}) // Ctrl+A is no exception
        EXPECT_FALSE(AcceptsTypedChar(L"0123456789", c)) << int(c);
    EXPECT_FALSE(AcceptsTypedChar(L"abc", L'A')) << "the search is exact and case-sensitive";
    EXPECT_TRUE(AcceptsTypedChar(L"", L'\u20AC')) << "an empty set accepts everything";
}

TEST(EditFilter, APasteGoesInWholeOrNotAtAll) {
    EXPECT_TRUE(AcceptsPastedText(L"0123456789", L"42"));
    EXPECT_FALSE(AcceptsPastedText(L"0123456789", L"42a"));
    EXPECT_FALSE(AcceptsPastedText(L"0123456789", std::wstring_view(L"4\0002", 3))) << "a NUL is a character";
    EXPECT_FALSE(AcceptsPastedText(L"0123456789", L"\b")) << "the typing exceptions are keys, not text";
    EXPECT_TRUE(AcceptsPastedText(L"", L"COM12 \u00FC")) << "an empty set accepts every paste";
}
