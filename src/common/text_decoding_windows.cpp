// The decoder of text_decoding.hpp on Windows: Windows' own code page tables
// through MultiByteToWideChar, so that a file decodes as Windows programs
// read it. UTF-8, UTF-16 and UTF-32 are decoded here directly, by the same
// rules as the Linux build (text_decoding_icu.cpp, over ICU).
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

#include "common/text.hpp"
#include "common/text_decoding.hpp"
#include "common/utf8.hpp"

namespace corvanne {

namespace {

constexpr UINT kGb18030 = 54936;
constexpr UINT kEucJp = 20932;
constexpr UINT kUtf7 = 65000;

// Names (upper case) that are no Windows number: the code page Windows reads
// each by. EUC-KR is tried as 51949 first (see StandIn).
constexpr std::pair<std::string_view, UINT> kNamedCodePages[] = {
    {"US-ASCII", 20127},     {"ASCII", 20127},         {"ISO-8859-1", 28591},     {"LATIN1", 28591},
    {"ISO-8859-2", 28592},   {"ISO-8859-3", 28593},    {"ISO-8859-4", 28594},     {"ISO-8859-5", 28595},
    {"ISO-8859-6", 28596},   {"ISO-8859-7", 28597},    {"ISO-8859-8", 28598},     {"ISO-8859-9", 28599},
    {"ISO-8859-13", 28603},  {"ISO-8859-15", 28605},   {"KOI8-R", 20866},         {"KOI8-U", 21866},
    {"SHIFT_JIS", 932},      {"SHIFT-JIS", 932},       {"SJIS", 932},             {"MS_KANJI", 932},
    {"WINDOWS-31J", 932},    {"CSSHIFTJIS", 932},      {"EUC-JP", kEucJp},        {"EUC-KR", 51949},
    {"KS_C_5601-1987", 949}, {"GB2312", 936},          {"GBK", 936},              {"EUC-CN", 936},
    {"GB18030", kGb18030},   {"BIG5", 950},            {"BIG-5", 950},            {"CN-BIG5", 950},
    {"TIS-620", 874},        {"ISO-8859-11", 874},     {"MACINTOSH", 10000},      {"X-MAC-CYRILLIC", 10007},
    {"MAC-CYRILLIC", 10007}, {"IBM866", 866},          {"IBM855", 855},           {"IBM852", 852},
    {"IBM850", 850},         {"IBM437", 437},          {"UTF-7", kUtf7},          {"UTF-8", CP_UTF8},
};

// The Unicode forms MultiByteToWideChar has no table for, decoded here; by
// name and by Windows number.
enum class Form { kCodePage, kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };
constexpr std::pair<std::string_view, Form> kFormNames[] = {
    {"UTF-16LE", Form::kUtf16Le}, {"UTF-16", Form::kUtf16Le},   {"UCS-2", Form::kUtf16Le},
    {"UCS-2LE", Form::kUtf16Le},  {"UNICODE", Form::kUtf16Le},  {"1200", Form::kUtf16Le},
    {"UTF-16BE", Form::kUtf16Be}, {"UCS-2BE", Form::kUtf16Be},  {"1201", Form::kUtf16Be},
    {"UTF-32LE", Form::kUtf32Le}, {"UTF-32", Form::kUtf32Le},   {"12000", Form::kUtf32Le},
    {"UTF-32BE", Form::kUtf32Be}, {"12001", Form::kUtf32Be},
};

const char* FormName(Form form) {
  switch (form) {
    case Form::kUtf16Le: return "UTF-16LE";
    case Form::kUtf16Be: return "UTF-16BE";
    case Form::kUtf32Le: return "UTF-32LE";
    case Form::kUtf32Be: return "UTF-32BE";
    default: return "UTF-8";
  }
}

// Code pages that only Windows' MLang decodes, by the table that holds the
// same characters; EUC-KR by the Unified Hangul page where 51949 is missing.
UINT StandIn(UINT code_page) {
  if (code_page == 51932) return kEucJp;
  if (code_page == 51936) return 936;
  if (code_page == 51949 && IsValidCodePage(51949) == 0) return 949;
  return code_page;
}

// Stateful code pages (ISO-2022, HZ, ISCII) and Symbol: MultiByteToWideChar
// cannot tell their bad bytes, and a step that starts inside a shifted run
// would read it wrongly. UTF-7 is named so that it can be refused for what
// it is (its ASCII is not its own bytes).
bool Stateful(UINT code_page) {
  return code_page == 42 || (code_page >= 50220 && code_page <= 50229) || code_page == 52936 ||
         (code_page >= 57002 && code_page <= 57011);
}

// `encoding` without a "CP" or "WINDOWS-" prefix: the digits of a Windows
// number when it names one that way.
std::string_view PrefixedNumber(std::string_view encoding) {
  for (const std::string_view prefix : {"CP", "WINDOWS-"}) {
    if (encoding.starts_with(prefix)) return encoding.substr(prefix.size());
  }
  return encoding;
}

// The number `digits` spell, or 0 when they are not all digits.
UINT NumberOf(std::string_view digits) {
  unsigned value = 0;
  const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return failed == std::errc() && end == digits.data() + digits.size() ? value : 0;
}

}  // namespace

struct TextDecoder::Engine {
  Form form = Form::kCodePage;
  UINT code_page = 0;
  DWORD flags = MB_ERR_INVALID_CHARS;
  UINT max_char_size = 1;
  std::array<bool, 256> lead{};     // double-byte pages: the bytes that start a two-byte character
  std::u16string units;             // one step's UTF-16, on its way to UTF-8
  std::vector<std::size_t> starts;  // one step's character starts

  // Bytes of the character that starts at `bytes[at]`, by its first bytes
  // only: whether it is one of the code page is MultiByteToWideChar's to say.
  std::size_t CharacterBytes(std::string_view bytes, std::size_t at) const;
  // MultiByteToWideChar over `bytes` into `units`: the number of units, or
  // -1 when a byte of them is no character of the code page.
  int Convert(std::string_view bytes);
  // The UTF-8 of whole characters `bytes` written at out + `produced`, which
  // grows by it; false, with nothing written, when Convert fails.
  bool Append(std::string_view bytes, char* out, std::size_t& produced);
  // The same for one character that Convert refused, when the code page's
  // table gives it a private-use character: Microsoft's tables (and ICU's
  // copies of them) map some bytes so, but MultiByteToWideChar's check may
  // still call them invalid, and the text must be the same on every system.
  bool AppendPrivateUse(std::string_view bytes, char* out, std::size_t& produced);
};

std::size_t TextDecoder::Engine::CharacterBytes(std::string_view bytes, std::size_t at) const {
  const auto first = static_cast<unsigned char>(bytes[at]);
  if (max_char_size == 1 || first < 0x80) return 1;
  if (code_page == kGb18030) {
    if (first == 0x80 || first == 0xFF) return 1;
    // A second byte of 0x30 to 0x39 makes a four-byte character.
    const bool four = at + 1 < bytes.size() && bytes[at + 1] >= '0' && bytes[at + 1] <= '9';
    return four ? 4 : 2;
  }
  if (code_page == kEucJp && first == 0x8F) return 3;  // JIS X 0212
  return lead[first] ? 2 : 1;
}

int TextDecoder::Engine::Convert(std::string_view bytes) {
  if (bytes.empty()) return 0;
  units.resize(bytes.size() + 2);
  // wchar_t is UTF-16 on Windows: the units are char16_t's to the rest of the code.
  const int count = MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()),
                                        reinterpret_cast<LPWSTR>(units.data()), static_cast<int>(units.size()));
  return count > 0 ? count : -1;
}

bool TextDecoder::Engine::Append(std::string_view bytes, char* out, std::size_t& produced) {
  const int count = Convert(bytes);
  if (count < 0) return false;
  produced += WriteUtf16AsUtf8(units.data(), static_cast<std::size_t>(count), out + produced);
  return true;
}

bool TextDecoder::Engine::AppendPrivateUse(std::string_view bytes, char* out, std::size_t& produced) {
  units.resize(4);
  const int count = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        reinterpret_cast<LPWSTR>(units.data()), static_cast<int>(units.size()));
  if (count != 1 || units[0] < 0xE000 || units[0] > 0xF8FF) return false;
  produced += WriteUtf16AsUtf8(units.data(), 1, out + produced);
  return true;
}

std::string PlatformDecoderName(std::string_view name, std::string_view windows_number) {
  const std::string upper = TrimUpper(name);
  for (const auto& [known, form] : kFormNames) {
    if (upper == known || windows_number == known) return FormName(form);
  }
  UINT code_page = NumberOf(windows_number);
  if (windows_number.empty()) {
    for (const auto& [known, number] : kNamedCodePages) {
      if (upper == known) code_page = number;
    }
  }
  code_page = StandIn(code_page);
  if (code_page == 0 || Stateful(code_page) || IsValidCodePage(code_page) == 0) return {};
  if (code_page == CP_UTF8) return kUtf8;
  return "CP" + std::to_string(code_page);
}

void TextDecoder::EngineDeleter::operator()(Engine* engine) const { delete engine; }  // NOLINT(cppcoreguidelines-owning-memory)

TextDecoder::EnginePointer TextDecoder::OpenEngine(const std::string& encoding, std::string& error) {
  const std::string upper = TrimUpper(encoding);
  const std::string_view number = PrefixedNumber(upper);
  const bool numbered = NumberOf(number) != 0;
  const std::string name = PlatformDecoderName(upper, numbered ? number : std::string_view());
  if (name.empty()) {
    error = "cannot decode " + encoding + ": Windows has no such code page";
    return nullptr;
  }
  EnginePointer opened(new Engine);
  for (const auto& [known, form] : kFormNames) {
    if (name == known) opened->form = form;
  }
  if (name == kUtf8) opened->form = Form::kUtf8;
  if (opened->form != Form::kCodePage) return opened;
  opened->code_page = NumberOf(PrefixedNumber(name));
  // UTF-7 takes no flags; it is only ever opened to be refused (see Stateful).
  if (opened->code_page == kUtf7) opened->flags = 0;
  CPINFOEXW info{};
  if (GetCPInfoExW(opened->code_page, 0, &info) == 0) {
    error = "cannot decode " + encoding + ": Windows error " + std::to_string(GetLastError());
    return nullptr;
  }
  opened->max_char_size = info.MaxCharSize;
  for (std::size_t range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range] != 0; range += 2) {
    for (unsigned byte = info.LeadByte[range]; byte <= info.LeadByte[range + 1]; ++byte) opened->lead[byte] = true;
  }
  return opened;
}

bool TextDecoder::IsSingleByte(const Engine& engine) {
  return engine.form == Form::kCodePage && engine.max_char_size == 1 && engine.code_page != kUtf7;
}

namespace {

// UTF-8 is checked, not converted: the valid prefix is the text.
DecodeStep DecodeUtf8(std::string_view input, char* out, std::size_t space) {
  DecodeStep step;
  const std::size_t limit = std::min(input.size(), space);
  bool cut_off = false;
  step.consumed = ValidUtf8Prefix(input.substr(0, limit), cut_off);
  std::memcpy(out, input.data(), step.consumed);
  step.produced = step.consumed;
  if (limit < input.size() && (step.consumed == limit || cut_off)) {
    step.stop = DecodeStop::kOutputFull;
  } else if (step.consumed < limit && !cut_off) {
    std::size_t length = 1;
    char32_t ignored = 0;
    ScanUtf8Sequence(input, step.consumed, length, ignored);
    step.stop = DecodeStop::kInvalid;
    step.invalid_length = length;
  }
  return step;
}

// UTF-16 and UTF-32 in either byte order. A surrogate out of its pair and a
// value past U+10FFFF are bad; a unit or pair cut by the end waits.
DecodeStep DecodeWide(std::string_view input, char* out, std::size_t space, std::size_t unit, bool big_endian) {
  const auto read = [&](std::size_t at) {
    char32_t value = 0;
    for (std::size_t i = 0; i < unit; ++i) {
      const auto byte = static_cast<unsigned char>(input[at + (big_endian ? i : unit - 1 - i)]);
      value = (value << 8) | byte;
    }
    return value;
  };
  const auto surrogate = [](char32_t value, char32_t low) { return value >= low && value < low + 0x400; };
  DecodeStep step;
  while (input.size() - step.consumed >= unit) {
    char32_t code_point = read(step.consumed);
    std::size_t length = unit;
    bool bad = code_point > 0x10FFFF || surrogate(code_point, 0xDC00);
    if (unit == 2 && surrogate(code_point, 0xD800)) {
      if (input.size() - step.consumed < 4) break;
      const char32_t low = read(step.consumed + 2);
      bad = !surrogate(low, 0xDC00);
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
      length = 4;
    } else if (unit == 4) {
      bad = bad || surrogate(code_point, 0xD800);
    }
    if (bad) {
      step.stop = DecodeStop::kInvalid;
      step.invalid_length = unit;
      return step;
    }
    if (space - step.produced < 4) {
      step.stop = DecodeStop::kOutputFull;
      return step;
    }
    step.produced += WriteUtf8(code_point, out + step.produced);
    step.consumed += length;
  }
  return step;
}

}  // namespace

DecodeStep TextDecoder::DecodeEngine(std::string_view input, char* out, std::size_t space) {
  Engine& engine = *engine_;
  switch (engine.form) {
    case Form::kUtf8: return DecodeUtf8(input, out, space);
    case Form::kUtf16Le: return DecodeWide(input, out, space, 2, false);
    case Form::kUtf16Be: return DecodeWide(input, out, space, 2, true);
    case Form::kUtf32Le: return DecodeWide(input, out, space, 4, false);
    case Form::kUtf32Be: return DecodeWide(input, out, space, 4, true);
    case Form::kCodePage: break;
  }
  DecodeStep step;
  // A byte gives at most one UTF-16 unit (a pair comes from four bytes), and
  // a unit at most three UTF-8 bytes: within `chunk` bytes the output cannot
  // overflow. Steps stay well inside MultiByteToWideChar's int lengths.
  const std::size_t chunk = std::min({input.size(), space / 3 > 2 ? space / 3 - 2 : 0, std::size_t{1} << 30});
  // The characters of the chunk, by their first bytes: MultiByteToWideChar
  // keeps no state between calls, so a step must end on a character's end.
  std::vector<std::size_t>& starts = engine.starts;
  starts.clear();
  std::size_t end = 0;
  bool cut_off = false;  // the input ends inside the character at `end`
  while (end < chunk) {
    const std::size_t length = engine.CharacterBytes(input, end);
    cut_off = end + length > input.size();
    if (end + length > chunk) break;
    starts.push_back(end);
    end += length;
  }
  const auto start_of = [&](std::size_t index) { return index < starts.size() ? starts[index] : end; };
  const auto from = [&](std::size_t first, std::size_t last) {
    return input.substr(start_of(first), start_of(last) - start_of(first));
  };
  std::size_t first = 0;             // the first character not yet written
  std::size_t span = starts.size();  // characters tried at once: all at first, a few after a bad one
  while (first < starts.size()) {
    const std::size_t last = std::min(starts.size(), first + span);
    if (engine.Append(from(first, last), out, step.produced)) {
      first = last;
      span = std::min(span * 2, starts.size());
      continue;
    }
    // It fails whole and says not where: the longest run of characters that
    // converts ends before the first bad one. Bisected, a bad byte costs a
    // few calls over the characters since the last one.
    std::size_t good = first;    // characters from `first` up to here convert
    std::size_t failing = last;  // up to here they do not
    while (failing - good > 1) {
      const std::size_t middle = good + (failing - good) / 2;
      (engine.Convert(from(first, middle)) < 0 ? failing : good) = middle;
    }
    engine.Append(from(first, good), out, step.produced);
    const std::string_view bad = from(good, good + 1);
    if (!engine.AppendPrivateUse(bad, out, step.produced)) {
      step.consumed = start_of(good);
      step.stop = DecodeStop::kInvalid;
      // A second byte below 0x40 is no trail byte of any Windows page: only
      // the first is bad, and the next is read again as a character of its own.
      const bool lone_lead = bad.size() == 2 && static_cast<unsigned char>(bad[1]) < 0x40;
      step.invalid_length = lone_lead ? 1 : bad.size();
      return step;
    }
    first = good + 1;
    span = 64;
  }
  step.consumed = end;
  if (end < input.size() && !cut_off) step.stop = DecodeStop::kOutputFull;
  return step;
}

}  // namespace corvanne

#endif  // _WIN32
