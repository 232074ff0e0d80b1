// Trimming, upper-casing and replacement on byte strings that hold UTF-8
// (or any single-byte text: bytes that are not valid UTF-8 pass unchanged).
#include "common/text.hpp"

#include <cstdint>
#include <cwctype>

#ifndef _WIN32
#include <locale.h>
#endif

namespace corvanne {

namespace {

// Decodes one well-formed UTF-8 sequence at `text[at]` of 2 to 4 bytes.
// Returns its length and sets `code_point`, or 0 when the bytes there are not
// a valid multi-byte sequence (overlong forms and surrogates included).
size_t DecodeMultiByte(std::string_view text, size_t at, char32_t& code_point) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code_point = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  if (code_point < minimum || code_point > 0x10FFFF || surrogate) return 0;
  return length;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

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
    const size_t length = DecodeMultiByte(out, at, code_point);
    if (length == 0) {  // not UTF-8: the byte stays as it is
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

}  // namespace corvanne
