// Checks the configured table and column names before they reach a server
// as SQL: names are checked, values are bound.
#pragma once

#include <string>
#include <string_view>

namespace corvanne {

// True when `name` is an identifier: one or more parts joined by ".", each
// part bare (letters, digits, "_", "$", "#", "@", UTF-8 letters; not starting
// with a digit) or quoted with "[...]" (a "]" inside written "]]") or "\"...\""
// (a quote inside written twice). False for empty parts, unbalanced quoting,
// or anything else (";", "--", "/*", blanks outside quotes).
bool IsIdentifier(std::string_view name);

// `name` (an identifier) with each "[...]" part re-quoted with `quote` (the
// server's identifier quote, e.g. "\"" ; empty: quotes dropped); bare and
// double-quoted parts as they stand.
std::string RequoteIdentifier(std::string_view name, std::string_view quote);

}  // namespace corvanne
