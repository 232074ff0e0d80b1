// Byte-order marks, the UTF-16 pattern, the tables of single-byte code pages
// and the whole-text rule; see text_decoding.hpp. The decoders themselves are
// the platform's (text_decoding_icu.cpp, text_decoding_windows.cpp).
#include "common/text_decoding.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "common/utf8.hpp"

namespace corvanne {

namespace {

// Tables made so far, by encoding: a run opens a decoder per file, and
// asking the platform for 128 characters each time would cost more than
// reading a small file.
std::mutex table_mutex;
std::map<std::string, std::shared_ptr<const SingleByteTable>>& Tables() {
  static std::map<std::string, std::shared_ptr<const SingleByteTable>> tables;
  return tables;
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
  // Most files hold no NUL at all; that is found at memchr's speed.
  if (bytes.size() < 4 || std::memchr(bytes.data(), '\0', bytes.size()) == nullptr) return nullptr;
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

TextDecoder::TextDecoder() = default;
TextDecoder::~TextDecoder() = default;
TextDecoder::TextDecoder(TextDecoder&&) noexcept = default;
TextDecoder& TextDecoder::operator=(TextDecoder&&) noexcept = default;

bool TextDecoder::Open(const std::string& encoding, std::string& error) {
  encoding_ = encoding;
  engine_.reset();
  {
    const std::lock_guard<std::mutex> lock(table_mutex);
    const auto found = Tables().find(encoding);
    table_ = found != Tables().end() ? found->second : nullptr;
  }
  if (table_) return true;
  engine_ = OpenEngine(encoding, error);
  if (!engine_) return false;
  if (!IsSingleByte(*engine_)) return true;
  // Each byte through the platform's decoder once: the table is that
  // decoder's, applied faster. ASCII must be itself, as the code pages
  // accepted for source files are.
  auto made = std::make_shared<SingleByteTable>();
  char out[16];
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    const DecodeStep step = DecodeEngine(std::string_view(&in, 1), out, sizeof out);
    const bool character = step.stop == DecodeStop::kInputUsed && step.consumed == 1 && step.produced > 0 &&
                           step.produced <= 4;
    if (byte < 0x80) {
      if (!character || step.produced != 1 || out[0] != in) return true;  // keep decoding through the engine
      continue;
    }
    SingleByteTable::Entry& entry = made->high[static_cast<std::size_t>(byte - 0x80)];
    if (!character) continue;  // no character: length 0
    std::copy(out, out + step.produced, entry.bytes.begin());
    entry.length = static_cast<uint8_t>(step.produced);
    made->longest = std::max(made->longest, step.produced);
  }
  engine_.reset();
  const std::lock_guard<std::mutex> lock(table_mutex);
  table_ = Tables().emplace(encoding, std::move(made)).first->second;
  return true;
}

DecodeStep TextDecoder::Decode(std::string_view input, char* out, std::size_t space) {
  return table_ ? DecodeTable(input, out, space) : DecodeEngine(input, out, space);
}

DecodeStep TextDecoder::DecodeTable(std::string_view input, char* out, std::size_t space) const {
  const auto& high = table_->high;
  DecodeStep step;
  while (step.consumed < input.size()) {
    // Each byte gives at most `longest` bytes, written four at a time: within
    // `chunk` the output cannot overflow. A text of n bytes needs 3n + 1 of
    // space at most (a single-byte code page has no character past U+FFFF).
    const std::size_t left = space - step.produced;
    const std::size_t chunk = std::min(input.size() - step.consumed, left > 0 ? (left - 1) / table_->longest : 0);
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
      const SingleByteTable::Entry& entry = high[static_cast<unsigned char>(part[at]) - 0x80];
      if (entry.length == 0) {
        step.consumed += at;
        step.stop = DecodeStop::kInvalid;
        step.invalid_length = 1;
        return step;
      }
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
