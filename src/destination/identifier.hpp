// Checks the configured table and column names before they reach a server
// as SQL: names are checked, values are bound.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// The parts of `name` (an identifier) with their quoting removed and escapes
// undone: "[a]].b].c" gives {"a].b", "c"}. Empty when `name` is not one.
std::vector<std::string> IdentifierParts(std::string_view name);

// How a server quotes a name part.
enum class QuoteStyle {
  kDoubleQuote,  // "part" with " doubled (SQLite, standard SQL)
  kBracket,      // [part] with ] doubled (SQL Server)
};

// `name` (an identifier) with every part quoted in `style`, bare parts too,
// so that a reserved word (Order, User, Key, File) is taken as a name.
std::string QuoteIdentifier(std::string_view name, QuoteStyle style);

// One name part (`part` as it is, not parsed) quoted in `style`.
std::string QuoteIdentifierPart(std::string_view part, QuoteStyle style);

// `text` between double quotes, as messages show names and paths.
std::string Quoted(std::string_view text);

}  // namespace corvanne
