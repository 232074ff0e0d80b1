// Trimming, upper-casing and replacement on byte strings that hold UTF-8
// (or any single-byte text: bytes that are not valid UTF-8 pass unchanged).
#include "common/text.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "common/utf8.hpp"

namespace corvanne {

namespace {

// Ranges of code points whose upper case lies the same distance away: every
// one of them (stride 1) or every second (stride 2), as case pairs alternate
// in many blocks. Ordered and disjoint.
struct UpperRange {
  char32_t first;
  char32_t last;
  int32_t delta;
  char32_t stride;
};

constexpr UpperRange kUpperRanges[] = {
#include "common/unicode_upper.inc"
};

}  // namespace

char32_t SimpleUpperCase(char32_t code_point) {
  const auto* after = std::upper_bound(std::begin(kUpperRanges), std::end(kUpperRanges), code_point,
                                       [](char32_t value, const UpperRange& range) { return value < range.first; });
  if (after == std::begin(kUpperRanges)) return code_point;
  const UpperRange& range = *(after - 1);
  if (code_point > range.last || (code_point - range.first) % range.stride != 0) return code_point;
  return static_cast<char32_t>(static_cast<int32_t>(code_point) + range.delta);
}

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
    AppendUtf8(upper, SimpleUpperCase(code_point));
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
