// Code page values; see code_page.hpp. Users know code pages by their
// Windows numbers or by names; the platform's decoder is asked for Windows'
// own table of each.
#include "common/code_page.hpp"

#include <algorithm>
#include <utility>

#include "common/text.hpp"
#include "common/text_decoding.hpp"

namespace corvanne {

namespace {

// Windows code page numbers shown by a name other than "CP" + number.
constexpr std::pair<std::string_view, std::string_view> kWindowsNumbers[] = {
    {"874", "WINDOWS-874"},     {"1250", "WINDOWS-1250"}, {"1251", "WINDOWS-1251"}, {"1253", "WINDOWS-1253"},
    {"1254", "WINDOWS-1254"},   {"1255", "WINDOWS-1255"}, {"1256", "WINDOWS-1256"}, {"1257", "WINDOWS-1257"},
    {"1258", "WINDOWS-1258"},   {"20866", "KOI8-R"},      {"21866", "KOI8-U"},      {"28591", "ISO-8859-1"},
    {"28592", "ISO-8859-2"},    {"28595", "ISO-8859-5"},  {"28597", "ISO-8859-7"},  {"28605", "ISO-8859-15"},
    {"51932", "EUC-JP"},        {"51949", "EUC-KR"},      {"54936", "GB18030"},
};

// Names older tools gave Windows code pages.
constexpr std::pair<std::string_view, std::string_view> kNamedNumbers[] = {{"UHC", "949"}, {"MS936", "936"},
                                                                          {"MS932", "932"}, {"MS949", "949"},
                                                                          {"MS950", "950"}, {"MS874", "874"}};

constexpr std::string_view kWindows1252Spellings[] = {"",       "USE_DEFAULT", "WINDOWS-1252", "CP1252",
                                                      "MS-ANSI", "1252"};
constexpr std::string_view kUtf8Spellings[] = {"UTF-8", "UTF8", "65001"};

bool OneOf(std::string_view value, const auto& spellings) {
  return std::find(std::begin(spellings), std::end(spellings), value) != std::end(spellings);
}

bool AllDigits(std::string_view value) {
  return !value.empty() && value.size() <= 5 &&
         std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The Windows number a value names ("950", "CP950", "WINDOWS-950"), or "".
std::string WindowsNumber(const std::string& value) {
  for (const auto& [name, number] : kNamedNumbers) {
    if (value == name) return std::string(number);
  }
  for (const std::string_view prefix : {"CP", "WINDOWS-"}) {
    if (value.starts_with(prefix) && AllDigits(std::string_view(value).substr(prefix.size()))) {
      return value.substr(prefix.size());
    }
  }
  return AllDigits(value) ? value : std::string();
}

// How a value is shown: Windows numbers by their usual name, names as given.
std::string ShownName(const std::string& value, const std::string& number) {
  if (number.empty() || number != value) return value;
  for (const auto& [known, name] : kWindowsNumbers) {
    if (number == known) return std::string(name);
  }
  return "CP" + number;
}

// True when ASCII text, line breaks and tabs included, decodes to itself:
// only then are a file's delimiters and line breaks its own bytes.
bool IsAsciiCompatible(const std::string& decoder_name) {
  std::string ascii = "\t\n\r";
  for (char c = 0x20; c < 0x7F; ++c) ascii += c;
  TextDecoder decoder;
  std::string error;
  if (!decoder.Open(decoder_name, error)) return false;
  char out[512];
  const DecodeStep step = decoder.Decode(ascii, out, sizeof out);
  return step.stop == DecodeStop::kInputUsed && step.consumed == ascii.size() &&
         std::string_view(out, step.produced) == ascii;
}

std::string UnknownText(std::string_view key, std::string_view value) {
  return std::string(key) + " \"" + std::string(value) +
         "\" is not a code page this system knows (a name such as WINDOWS-1252, BIG5 or CP932, a Windows code "
         "page number, UTF-8, AUTO or BYTES)";
}

}  // namespace

bool ParseCodePage(std::string_view value, CodePage& code_page, std::string& error, std::string_view key,
                   bool auto_allowed) {
  const std::string wanted = TrimUpper(value);
  if (OneOf(wanted, kWindows1252Spellings)) {
    code_page = CodePage{CodePageKind::kWindows1252, kWindows1252, {}};
    return true;
  }
  if (OneOf(wanted, kUtf8Spellings)) {
    code_page = CodePage{CodePageKind::kUtf8, kUtf8, {}};
    return true;
  }
  if (wanted == kBytes) {
    code_page = CodePage{CodePageKind::kBytes, kBytes, {}};
    return true;
  }
  if (wanted == kAuto && auto_allowed) {
    code_page = CodePage{CodePageKind::kAuto, kAuto, {}};
    return true;
  }
  const std::string number = WindowsNumber(wanted);
  // Option syntax of decoder names ("//TRANSLIT", ",swaplfnl") would change
  // what a byte means or drop bytes without a word.
  const bool plain = wanted.find_first_of("/,") == std::string::npos;
  const std::string decoder = plain ? PlatformDecoderName(wanted, number) : std::string();
  if (decoder.empty()) {
    error = UnknownText(key, value);
    return false;
  }
  if (!IsAsciiCompatible(decoder)) {
    error = std::string(key) + " \"" + std::string(value) +
            "\" is not a code page whose text keeps ASCII as it is (such as UTF-16, UTF-32, UTF-7 or EBCDIC): "
            "lines cannot be cut in it. A UTF-16 file is read by its byte-order mark, or by AUTO; use a code page "
            "such as WINDOWS-1252 or UTF-8";
    return false;
  }
  code_page = CodePage{CodePageKind::kDecoder, ShownName(wanted, number), decoder};
  return true;
}

bool ParseUndecodableBytes(std::string_view value, UndecodableBytes& policy, std::string& error) {
  const std::string wanted = TrimUpper(value);
  if (wanted.empty() || wanted == "REPLACE") {
    policy = UndecodableBytes::kReplace;
    return true;
  }
  if (wanted == "FAIL") {
    policy = UndecodableBytes::kFail;
    return true;
  }
  error = "SOURCE_FILE_UNDECODABLE_BYTES \"" + std::string(value) + "\" is neither REPLACE nor FAIL";
  return false;
}

}  // namespace corvanne
