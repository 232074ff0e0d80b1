// Table and column names are configured text that ends up inside SQL; this
// checks that they are names and nothing more, and re-quotes them per server.
#include "destination/identifier.hpp"

#include <cstdint>

#include "common/utf8.hpp"

namespace corvanne {
namespace {

// Length of the UTF-8 sequence at `pos` when it is a well-formed encoding of a
// code point that may stand in a bare name; 0 otherwise. Spaces and
// punctuation outside ASCII are refused so that no server takes them for a
// separator.
std::size_t NameCodePointLength(std::string_view text, std::size_t pos) {
  std::size_t length = 0;
  char32_t code_point = 0;
  if (ScanUtf8Sequence(text, pos, length, code_point) != Utf8Sequence::kValid || length < 2) return 0;
  if (code_point <= 0xA0 || (code_point >= 0x2000 && code_point <= 0x206F) || code_point == 0x3000 ||
      code_point == 0xFEFF) {
    return 0;  // controls, no-break space, general punctuation, ideographic space, BOM
  }
  return length;
}

bool IsBareStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' || c == '#' || c == '@';
}

bool IsBareChar(char c) { return IsBareStart(c) || (c >= '0' && c <= '9'); }

// One part starting at `pos`: on success `end` is just past it and `content`
// is its name with the quoting removed and escapes undone.
bool ParsePart(std::string_view name, std::size_t pos, std::size_t& end, std::string& content, char& opener) {
  content.clear();
  opener = name[pos];
  if (opener == '[' || opener == '"') {
    const char closer = opener == '[' ? ']' : '"';
    for (std::size_t i = pos + 1; i < name.size(); ++i) {
      if (name[i] != closer) {
        content += name[i];
      } else if (i + 1 < name.size() && name[i + 1] == closer) {
        content += closer;
        ++i;
      } else {
        end = i + 1;
        return !content.empty();
      }
    }
    return false;  // never closed
  }
  opener = 0;
  std::size_t i = pos;
  while (i < name.size() && name[i] != '.') {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x80) {
      const std::size_t length = NameCodePointLength(name, i);
      if (length == 0) return false;
      i += length;
    } else if (i == pos ? IsBareStart(name[i]) : IsBareChar(name[i])) {
      ++i;
    } else {
      return false;
    }
  }
  end = i;
  content.assign(name.substr(pos, i - pos));
  return i > pos;
}

}  // namespace

bool IsIdentifier(std::string_view name) {
  std::size_t pos = 0;
  std::string content;
  char opener = 0;
  while (true) {
    if (pos >= name.size()) return false;  // empty name, or nothing after a "."
    std::size_t end = 0;
    if (!ParsePart(name, pos, end, content, opener)) return false;
    if (end == name.size()) return true;
    if (name[end] != '.') return false;  // e.g. "[a]b" or "[a] "
    pos = end + 1;
  }
}

std::string RequoteIdentifier(std::string_view name, std::string_view quote) {
  if (!IsIdentifier(name)) return std::string(name);
  std::string result;
  std::size_t pos = 0;
  std::string content;
  char opener = 0;
  while (pos < name.size()) {
    std::size_t end = 0;
    ParsePart(name, pos, end, content, opener);
    if (opener == '[') {
      result += quote;
      for (char c : content) {
        result += c;
        // A quote inside the name is doubled, the usual escape of every
        // server that quotes with one character.
        if (quote.size() == 1 && c == quote[0]) result += c;
      }
      result += quote;
    } else {
      result.append(name.substr(pos, end - pos));
    }
    if (end < name.size()) result += '.';
    pos = end + 1;
  }
  return result;
}

std::vector<std::string> IdentifierParts(std::string_view name) {
  std::vector<std::string> parts;
  if (!IsIdentifier(name)) return parts;
  std::size_t pos = 0;
  char opener = 0;
  while (pos < name.size()) {
    std::size_t end = 0;
    parts.emplace_back();
    ParsePart(name, pos, end, parts.back(), opener);
    pos = end + 1;
  }
  return parts;
}

std::string QuoteIdentifierPart(std::string_view part, QuoteStyle style) {
  const char close = style == QuoteStyle::kBracket ? ']' : '"';
  std::string result(1, style == QuoteStyle::kBracket ? '[' : '"');
  for (char c : part) {
    result += c;
    if (c == close) result += c;
  }
  result += close;
  return result;
}

std::string QuoteIdentifier(std::string_view name, QuoteStyle style) {
  if (!IsIdentifier(name)) return std::string(name);
  std::string result;
  for (const std::string& part : IdentifierParts(name)) {
    if (!result.empty()) result += '.';
    result += QuoteIdentifierPart(part, style);
  }
  return result;
}

std::string Quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result.append("\"").append(text).append("\"");
  return result;
}

}  // namespace corvanne
