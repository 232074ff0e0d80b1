// Byte-order marks, the UTF-16 pattern, the Windows-1252 table and the
// whole-text rule; see text_decoding.hpp. Windows-1252, the code page of most
// files that are not UTF-8, goes by a copy of Windows' table: a look-up per
// byte, and ASCII runs copied whole. Other code pages are the platform
// decoder's (text_decoding_icu.cpp).
#include "common/text_decoding.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "common/utf8.hpp"

namespace corvanne {

namespace {

// The characters of bytes 0x80 to 0x9F; 0xA0 to 0xFF are U+00A0 to U+00FF.
// The five bytes Windows-1252 leaves unassigned stand for the C1 controls of
// the same number, as Windows itself reads them.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// UTF-8 of one byte of Windows-1252.
struct TableEntry {
  std::array<char, 3> bytes{};  // the character's UTF-8, padded
  std::size_t length = 0;       // 2 or 3
};

// Bytes 0x80 to 0xFF; ASCII needs no table.
const std::array<TableEntry, 128>& Windows1252Table() {
  static const std::array<TableEntry, 128> table = [] {
    std::array<TableEntry, 128> made{};
    for (std::size_t i = 0; i < made.size(); ++i) {
      std::string utf8;
      AppendUtf8(utf8, i < 32 ? kWindows1252High[i] : static_cast<char32_t>(0x80 + i));
      std::copy(utf8.begin(), utf8.end(), made[i].bytes.begin());
      made[i].length = utf8.size();
    }
    return made;
  }();
  return table;
}

}  // namespace

ByteOrderMark SniffByteOrderMark(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return {kUtf8, 3};
  if (bytes.starts_with("\xFF\xFE")) return {kUtf16Le, 2};
  if (bytes.starts_with("\xFE\xFF")) return {kUtf16Be, 2};
  return {};
}

const char* SniffUtf16Pattern(std::string_view bytes) {
  bytes = bytes.substr(0, std::min<std::size_t>(bytes.size(), 4096) & ~std::size_t{1});
  if (bytes.size() < 4) return nullptr;
  std::size_t even_nul = 0;
  std::size_t odd_nul = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 2) {
    even_nul += bytes[at] == '\0' ? 1 : 0;
    odd_nul += bytes[at + 1] == '\0' ? 1 : 0;
  }
  const std::size_t pairs = bytes.size() / 2;
  if (odd_nul * 4 >= pairs * 3 && even_nul * 8 <= pairs) return kUtf16Le;
  if (even_nul * 4 >= pairs * 3 && odd_nul * 8 <= pairs) return kUtf16Be;
  return nullptr;
}

DecodeStep TextDecoder::DecodeWindows1252(std::string_view input, char* out, std::size_t space) const {
  const auto& table = Windows1252Table();
  DecodeStep step;
  while (step.consumed < input.size()) {
    // Each byte gives at most three; within `chunk` the output cannot overflow.
    const std::size_t chunk = std::min(input.size() - step.consumed, (space - step.produced) / 3);
    if (chunk == 0) {
      step.stop = DecodeStop::kOutputFull;
      return step;
    }
    const std::string_view part = input.substr(step.consumed, chunk);
    for (std::size_t at = 0; at < part.size();) {
      const std::size_t ascii = AsciiPrefix(part.substr(at));
      std::memcpy(out + step.produced, part.data() + at, ascii);
      step.produced += ascii;
      at += ascii;
      if (at == part.size()) break;
      const TableEntry& entry = table[static_cast<unsigned char>(part[at]) - 0x80];
      std::memcpy(out + step.produced, entry.bytes.data(), entry.bytes.size());
      step.produced += entry.length;
      ++at;
    }
    step.consumed += chunk;
  }
  return step;
}

std::string BadBytesText(const std::string& encoding, uint64_t offset, std::string_view bytes, bool cut_off) {
  std::string shown;
  for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size(), 4); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", static_cast<unsigned char>(bytes[i]));
    shown += hex;
  }
  const std::string where = " at byte offset " + std::to_string(offset);
  if (cut_off) return "incomplete " + encoding + " character" + where + ", where the file ends (bytes " + shown + ")";
  return "not valid " + encoding + where + " (bytes " + shown + ")";
}

namespace {

// All of `bytes` from `start` through `decoder` into `result`; false with
// the error (naming the encoding as `shown`) set when a bad sequence is met
// under kFail.
bool DecodeAll(std::string_view bytes, std::size_t start, TextDecoder& decoder, UndecodableBytes undecodable,
               const std::string& shown, DecodedText& result) {
  std::string& text = result.text;
  text.resize(bytes.size() * 3 + 16);
  std::size_t used = 0;
  std::size_t at = start;
  while (true) {
    const DecodeStep step = decoder.Decode(bytes.substr(at), text.data() + used, text.size() - used);
    at += step.consumed;
    used += step.produced;
    if (step.stop == DecodeStop::kOutputFull || text.size() - used < kReplacementCharacter.size()) {
      text.resize(text.size() * 2);
      continue;
    }
    const bool invalid = step.stop == DecodeStop::kInvalid;
    if ((invalid || at < bytes.size()) && undecodable == UndecodableBytes::kFail) {
      result.error = BadBytesText(shown, at, bytes.substr(at), !invalid);
      return false;
    }
    if (invalid || at < bytes.size()) {
      if (result.replaced++ == 0) result.first_replaced_offset = at;
      text.replace(used, kReplacementCharacter.size(), kReplacementCharacter);
      used += kReplacementCharacter.size();
      at += invalid ? step.invalid_length : bytes.size() - at;
      continue;
    }
    text.resize(used);
    return true;
  }
}

}  // namespace

DecodedText DecodeText(std::string_view bytes, const CodePage& code_page, UndecodableBytes undecodable) {
  DecodedText result;
  if (code_page.kind == CodePageKind::kBytes) {
    result.ok = true;
    result.text = bytes;
    result.encoding = kBytes;
    return result;
  }
  const ByteOrderMark mark = SniffByteOrderMark(bytes);
  result.encoding = mark.encoding != nullptr ? mark.encoding : kUtf8;
  if (result.encoding == kUtf8) {
    const std::string_view rest = bytes.substr(mark.length);
    if (IsValidUtf8(rest)) {
      result.ok = true;
      result.text = rest;
      return result;
    }
    // Only a text that does not say it is UTF-8 may be something else.
    const bool says_utf8 = mark.encoding != nullptr || code_page.kind == CodePageKind::kUtf8;
    if (!says_utf8) {
      const bool table = code_page.kind == CodePageKind::kWindows1252 || code_page.kind == CodePageKind::kAuto;
      result.encoding = table ? kWindows1252 : code_page.decoder;
    }
  }
  TextDecoder decoder;
  if (!decoder.Open(result.encoding, result.error)) return result;
  // Users know a code page by its name, not by the decoder's.
  const bool named = code_page.kind == CodePageKind::kDecoder && result.encoding == code_page.decoder;
  if (named) result.encoding = code_page.name;
  result.ok = DecodeAll(bytes, mark.length, decoder, undecodable, result.encoding, result);
  return result;
}

std::string FileNameAsText(const std::string& bytes, const CodePage& code_page) {
  if (code_page.kind == CodePageKind::kBytes || IsValidUtf8(bytes)) return bytes;
  const DecodedText decoded = DecodeText(bytes, code_page, UndecodableBytes::kReplace);
  return decoded.ok ? decoded.text : bytes;
}

}  // namespace corvanne
