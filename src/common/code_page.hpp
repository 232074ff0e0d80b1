// The code page of source files that are not Unicode, as the key
// SOURCE_FILE_CODE_PAGE gives it: its accepted spellings and what they mean.
// Decoding itself is text_decoding.hpp's.
#pragma once

#include <string>
#include <string_view>

namespace corvanne {

inline constexpr const char* kWindows1252 = "WINDOWS-1252";
inline constexpr const char* kUtf8 = "UTF-8";
inline constexpr const char* kBytes = "BYTES";

// How a file that has no byte-order mark and is not valid UTF-8 is read.
enum class CodePageKind {
  kWindows1252,  // by the built-in table, the five unassigned bytes as U+0081 etc.
  kIconv,        // through iconv under `name`
  kUtf8,         // not at all: such a file fails its load (UTF-8, strict)
  kBytes,        // no decoding of any file: bytes stored as read
};

// A code page as the run uses it.
struct CodePage {
  CodePageKind kind = CodePageKind::kWindows1252;
  std::string name = kWindows1252;  // as shown to users and given to iconv: "WINDOWS-1252", "CP950", "BIG5", "UTF-8", "BYTES"

  bool operator==(const CodePage&) const = default;
};

// Reads a SOURCE_FILE_CODE_PAGE value, compared after trimming blanks and
// upper-casing. Missing, empty or USE_DEFAULT: WINDOWS-1252 (CP1252,
// MS-ANSI and 1252 too). UTF-8 (UTF8, 65001): strict UTF-8. BYTES: no
// decoding. A Windows code page number: its iconv name (950 is CP950, 1251
// is WINDOWS-1251, 874 is WINDOWS-874, 54936 is GB18030). Any other name
// iconv can open for reading, as given. False, with `error` naming the value,
// for anything else, and for names with iconv's "//" suffixes, which would
// replace or drop bytes instead of failing.
bool ParseCodePage(std::string_view value, CodePage& code_page, std::string& error);

}  // namespace corvanne
