// Trimming, upper-casing and replacement on byte strings that hold UTF-8
// (or any single-byte text: bytes that are not valid UTF-8 pass unchanged).
#include "common/text.hpp"

#include <cstdint>
#include <algorithm>
#include <cwctype>
#include <vector>

#include "common/utf8.hpp"

#ifndef _WIN32
#include <locale.h>
#endif

namespace corvanne {

namespace {

// Upper case of a non-ASCII code point as the C++ runtime knows it. The "C"
// locale the program runs in knows only ASCII, so a UTF-8 character locale
// is asked when one is installed.
char32_t UpperCodePoint(char32_t code_point) {
#ifdef _WIN32
  if (code_point > 0xFFFF) return code_point;  // wchar_t holds the BMP only
  return static_cast<char32_t>(towupper(static_cast<wint_t>(code_point)));
#else
  static const locale_t unicode = [] {
    locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (made == static_cast<locale_t>(nullptr)) {
      made = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    }
    return made;
  }();
  const auto wide = static_cast<wint_t>(code_point);
  const wint_t upper =
      unicode != static_cast<locale_t>(nullptr) ? towupper_l(wide, unicode) : towupper(wide);
  const auto result = static_cast<char32_t>(upper);
  const bool valid = result <= 0x10FFFF && !(result >= 0xD800 && result <= 0xDFFF);
  return valid ? result : code_point;
#endif
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string TrimUpper(std::string_view text) {
  // Upper-cased in place while every character keeps its length, which is
  // the rule; the rare letter whose upper case is longer or shorter in
  // UTF-8 moves the rest of the text.
  std::string out = TrimBlanks(text);
  for (size_t at = 0; at < out.size();) {
    const char byte = out[at];
    if (static_cast<unsigned char>(byte) < 0x80) {
      if (byte >= 'a' && byte <= 'z') out[at] = static_cast<char>(byte - 'a' + 'A');
      ++at;
      continue;
    }
    char32_t code_point = 0;
    size_t length = 0;
    if (ScanUtf8Sequence(out, at, length, code_point) != Utf8Sequence::kValid) {  // not UTF-8: the byte stays
      ++at;
      continue;
    }
    std::string upper;
    AppendUtf8(upper, UpperCodePoint(code_point));
    out.replace(at, length, upper);
    at += upper.size();
  }
  return out;
}

std::string GroupDigits(int64_t value) {
  const std::string digits = std::to_string(value);
  const std::size_t first = value < 0 ? 1 : 0;  // after the minus sign
  std::string out(digits, 0, first);
  for (std::size_t i = first; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, start)) {
    out.append(text, start, hit - start);
    out.append(to);
    start = hit + from.size();
  }
  out.append(text, start, std::string_view::npos);
  return out;
}

size_t EditDistance(std::string_view a, std::string_view b) {
  // Optimal string alignment: three rows of the table are enough.
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

}  // namespace corvanne
