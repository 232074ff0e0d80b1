// SOURCE_FILE_CODE_PAGE values; see code_page.hpp. Users know code pages by
// their Windows numbers, iconv by names: the numbers are mapped here.
#include "common/code_page.hpp"

#include <algorithm>
#include <utility>

#include "common/text.hpp"
#include "common/text_decoding.hpp"

namespace corvanne {

namespace {

// Windows code page numbers whose iconv name is not simply "CP" + number.
constexpr std::pair<std::string_view, std::string_view> kWindowsNumbers[] = {
    {"874", "WINDOWS-874"},     {"1250", "WINDOWS-1250"}, {"1251", "WINDOWS-1251"}, {"1253", "WINDOWS-1253"},
    {"1254", "WINDOWS-1254"},   {"1255", "WINDOWS-1255"}, {"1256", "WINDOWS-1256"}, {"1257", "WINDOWS-1257"},
    {"1258", "WINDOWS-1258"},   {"20866", "KOI8-R"},      {"21866", "KOI8-U"},      {"28591", "ISO-8859-1"},
    {"28592", "ISO-8859-2"},    {"28595", "ISO-8859-5"},  {"28597", "ISO-8859-7"},  {"28605", "ISO-8859-15"},
    {"51932", "EUC-JP"},        {"51949", "EUC-KR"},      {"54936", "GB18030"},
};

constexpr std::string_view kWindows1252Spellings[] = {"", "USE_DEFAULT", "WINDOWS-1252", "CP1252", "MS-ANSI", "1252"};
constexpr std::string_view kUtf8Spellings[] = {"UTF-8", "UTF8", "65001"};

bool OneOf(std::string_view value, const auto& spellings) {
  return std::find(std::begin(spellings), std::end(spellings), value) != std::end(spellings);
}

bool AllDigits(std::string_view value) {
  return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The iconv name a value stands for: Windows numbers mapped, names as given.
std::string IconvName(const std::string& value) {
  for (const auto& [number, name] : kWindowsNumbers) {
    if (value == number) return std::string(name);
  }
  return AllDigits(value) ? "CP" + value : value;
}

bool IconvCanRead(const std::string& name) {
  TextDecoder probe;
  std::string error;
  return probe.Open(name, error);
}

}  // namespace

bool ParseCodePage(std::string_view value, CodePage& code_page, std::string& error) {
  const std::string wanted = TrimUpper(value);
  if (OneOf(wanted, kWindows1252Spellings)) {
    code_page = CodePage{CodePageKind::kWindows1252, kWindows1252};
    return true;
  }
  if (OneOf(wanted, kUtf8Spellings)) {
    code_page = CodePage{CodePageKind::kUtf8, kUtf8};
    return true;
  }
  if (wanted == kBytes) {
    code_page = CodePage{CodePageKind::kBytes, kBytes};
    return true;
  }
  std::string name = IconvName(wanted);
  if (name.find('/') == std::string::npos && IconvCanRead(name)) {
    code_page = CodePage{CodePageKind::kIconv, std::move(name)};
    return true;
  }
  error = "SOURCE_FILE_CODE_PAGE \"" + std::string(value) +
          "\" is not a code page this system knows (a name such as WINDOWS-1252, BIG5 or CP932, a Windows code "
          "page number, UTF-8 or BYTES)";
  return false;
}

}  // namespace corvanne
