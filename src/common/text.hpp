// Small text helpers shared by every subsystem. A blank is the space
// character only; tabs and line breaks are never trimmed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanne {

// `text` without blanks (U+0020) at either end.
std::string TrimBlanks(std::string_view text);

// Blanks removed from both ends, then upper-cased by SimpleUpperCase,
// without ever breaking a UTF-8 sequence: bytes that are not valid UTF-8
// stay as they are.
std::string TrimUpper(std::string_view text);

// The Unicode simple upper case of `code_point` (one code point for one:
// "ß" stays "ß"), from a table compiled in, so that every build and every
// locale upper-cases alike; `code_point` itself when it has none.
char32_t SimpleUpperCase(char32_t code_point);

// `value` in decimal with a comma between groups of three digits:
// 1234567 as "1,234,567".
std::string GroupDigits(int64_t value);

// `text` with every occurrence of `from` (not empty) replaced by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The number of single-character insertions, deletions, changes and swaps
// of neighbours that turn `a` into `b` (bytes compared exactly): how far a
// name is from the one that was probably meant.
size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace corvanne
