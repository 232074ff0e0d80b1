// UTF-8 reading, writing and checking; see utf8.hpp. The checks follow the
// well-formed byte table of Unicode (no overlong forms, no surrogates,
// nothing past U+10FFFF), so what passes here every database accepts.
#include "common/utf8.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace corvanne {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ULL;

uint64_t Word(const char* data) {
  uint64_t word = 0;
  std::memcpy(&word, data, 8);
  return word;
}

// Position of the first high byte in a word read from memory whose high
// bits `high` are not all clear.
std::size_t FirstHigh(uint64_t high) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(high)) / 8;
  } else {
    return static_cast<std::size_t>(std::countl_zero(high)) / 8;
  }
}

}  // namespace

Utf8Sequence ScanUtf8Sequence(std::string_view text, std::size_t at, std::size_t& length, char32_t& code_point) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    length = 1;
    code_point = lead;
    return Utf8Sequence::kValid;
  }
  // The lead byte fixes the length and the range of the second byte, which
  // is where overlong forms, surrogates and values past U+10FFFF show.
  std::size_t needed = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3, value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4, value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    length = 1;
    return Utf8Sequence::kInvalid;
  }
  for (std::size_t i = 1; i < needed; ++i) {
    if (at + i >= text.size()) return Utf8Sequence::kCutOff;
    const auto next = static_cast<unsigned char>(text[at + i]);
    if (next < low || next > high) {
      length = i;
      return Utf8Sequence::kInvalid;
    }
    low = 0x80, high = 0xBF;
    value = (value << 6) | (next & 0x3F);
  }
  length = needed;
  code_point = value;
  return Utf8Sequence::kValid;
}

std::size_t CharacterLength(std::string_view text, std::size_t at) {
  std::size_t length = 0;
  char32_t code_point = 0;
  return ScanUtf8Sequence(text, at, length, code_point) == Utf8Sequence::kValid ? length : 1;
}

std::size_t WriteUtf8(char32_t code_point, char* out) {
  const auto put = [out](std::size_t at, char32_t value) { out[at] = static_cast<char>(value); };
  if (code_point < 0x80) {
    put(0, code_point);
    return 1;
  }
  if (code_point < 0x800) {
    put(0, 0xC0 | (code_point >> 6));
    put(1, 0x80 | (code_point & 0x3F));
    return 2;
  }
  if (code_point < 0x10000) {
    put(0, 0xE0 | (code_point >> 12));
    put(1, 0x80 | ((code_point >> 6) & 0x3F));
    put(2, 0x80 | (code_point & 0x3F));
    return 3;
  }
  put(0, 0xF0 | (code_point >> 18));
  put(1, 0x80 | ((code_point >> 12) & 0x3F));
  put(2, 0x80 | ((code_point >> 6) & 0x3F));
  put(3, 0x80 | (code_point & 0x3F));
  return 4;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  char bytes[4];
  out.append(bytes, WriteUtf8(code_point, bytes));
}

std::size_t WriteUtf16AsUtf8(const char16_t* units, std::size_t count, char* out) {
  std::size_t written = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t code_point = units[i];
    const bool high = code_point >= 0xD800 && code_point < 0xDC00;
    if (high && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code_point >= 0xD800 && code_point < 0xE000) {
      code_point = 0xFFFD;
    }
    written += WriteUtf8(code_point, out + written);
  }
  return written;
}

std::size_t AsciiPrefix(std::string_view bytes) {
  const char* data = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t at = 0;
  // Source text is mostly ASCII: long runs go 32 bytes a step, and the word
  // that holds the first high byte is then found 8 bytes a step.
  for (; at + 32 <= size; at += 32) {
    if (((Word(data + at) | Word(data + at + 8) | Word(data + at + 16) | Word(data + at + 24)) & kHighBits) != 0) break;
  }
  for (; at + 8 <= size; at += 8) {
    const uint64_t high = Word(data + at) & kHighBits;
    if (high != 0) return at + FirstHigh(high);
  }
  while (at < size && static_cast<unsigned char>(data[at]) < 0x80) ++at;
  return at;
}

std::size_t ValidUtf8Prefix(std::string_view bytes, bool& cut_off) {
  cut_off = false;
  const std::size_t size = bytes.size();
  std::size_t at = 0;
  while (at < size) {
    at += AsciiPrefix(bytes.substr(at));
    if (at == size) break;
    std::size_t length = 0;
    char32_t code_point = 0;
    const Utf8Sequence found = ScanUtf8Sequence(bytes, at, length, code_point);
    if (found != Utf8Sequence::kValid) {
      cut_off = found == Utf8Sequence::kCutOff;
      return at;
    }
    at += length;
  }
  return at;
}

bool IsValidUtf8(std::string_view bytes) {
  bool cut_off = false;
  return ValidUtf8Prefix(bytes, cut_off) == bytes.size();
}

std::size_t CountCodePoints(std::string_view utf8) {
  std::size_t continuations = 0;
  for (const char byte : utf8) continuations += (static_cast<unsigned char>(byte) & 0xC0) == 0x80 ? 1 : 0;
  return utf8.size() - continuations;
}

bool AppendUtf16(std::string_view utf8, std::u16string& out) {
  const std::size_t kept = out.size();
  out.reserve(kept + utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    std::size_t length = 0;
    char32_t code_point = 0;
    if (ScanUtf8Sequence(utf8, at, length, code_point) != Utf8Sequence::kValid) {
      out.resize(kept);
      return false;
    }
    if (code_point < 0x10000) {
      out += static_cast<char16_t>(code_point);
    } else {
      const char32_t above = code_point - 0x10000;
      out += static_cast<char16_t>(0xD800 + (above >> 10));
      out += static_cast<char16_t>(0xDC00 + (above & 0x3FF));
    }
    at += length;
  }
  return true;
}

}  // namespace corvanne
