// The code page of source files that are not Unicode, as the keys
// SOURCE_FILE_CODE_PAGE and SOURCE_FILE_CODE_PAGE_FALLBACK give it, and what
// happens to bytes it cannot decode. Decoding itself is text_decoding.hpp's.
#pragma once

#include <string>
#include <string_view>

namespace corvanne {

inline constexpr const char* kWindows1252 = "WINDOWS-1252";
inline constexpr const char* kUtf8 = "UTF-8";
inline constexpr const char* kBytes = "BYTES";
inline constexpr const char* kAuto = "AUTO";

// How a file that has no byte-order mark and is not valid UTF-8 is read.
enum class CodePageKind {
  kWindows1252,  // by the built-in copy of Windows' table, the five unassigned bytes as U+0081 etc.
  kDecoder,      // through the platform's decoder under `decoder`
  kUtf8,         // not at all: such a file is UTF-8 with bad bytes
  kBytes,        // no decoding of any file: bytes stored as read
  kAuto,         // per file: the detector's code page when it is sure and it decodes, else the fallback
};

// A code page as the run uses it.
struct CodePage {
  CodePageKind kind = CodePageKind::kWindows1252;
  std::string name = kWindows1252;  // as shown to users: "WINDOWS-1252", "CP950", "BIG5", "UTF-8", "BYTES", "AUTO"
  std::string decoder;              // kDecoder: the platform decoder's name for it (ICU "windows-950", Windows "CP950")

  bool operator==(const CodePage&) const = default;
};

// Reads a code page value of `key` (SOURCE_FILE_CODE_PAGE, or another key
// that takes the same values), compared after trimming blanks and
// upper-casing. Missing, empty or USE_DEFAULT: WINDOWS-1252 (CP1252, MS-ANSI
// and 1252 too). UTF-8 (UTF8, 65001): UTF-8. BYTES: no decoding. AUTO, when
// `auto_allowed`. A Windows code page number, or CP/WINDOWS and the number:
// Windows' own table for it (950 is CP950, 874 is WINDOWS-874). Any other
// name the platform's decoder knows, by Windows' table where Windows has
// one (BIG5 is read as Windows reads code page 950). False, with `error`
// naming the key and the value, for anything else, and for a code page in
// which ASCII text is not its own bytes (UTF-16, UTF-32, UTF-7, EBCDIC):
// lines of such text cannot be cut at byte delimiters.
bool ParseCodePage(std::string_view value, CodePage& code_page, std::string& error,
                   std::string_view key = "SOURCE_FILE_CODE_PAGE", bool auto_allowed = true);

// What becomes of bytes that a file's code page cannot decode.
enum class UndecodableBytes {
  kReplace,  // each sequence becomes U+FFFD; the file loads, with a warning
  kFail,     // the file's load fails, naming line and byte offset
};

// Reads SOURCE_FILE_UNDECODABLE_BYTES, compared after trimming and
// upper-casing: missing, empty or REPLACE, or FAIL. False with `error`
// naming the value for anything else.
bool ParseUndecodableBytes(std::string_view value, UndecodableBytes& policy, std::string& error);

}  // namespace corvanne
