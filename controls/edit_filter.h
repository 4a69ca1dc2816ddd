#pragma once
// What the in-place text box lets in, typed or pasted, given its set of valid characters.

#include <string_view>

namespace kavrel {

// Backspace and the copy, paste and cut keys always pass; an empty set lets everything through.
bool AcceptsTypedChar(std::wstring_view valid, wchar_t c);

// A paste goes in whole or not at all. An empty set lets every paste through, as it does typing.
bool AcceptsPastedText(std::wstring_view valid, std::wstring_view text);

} // namespace kavrel
