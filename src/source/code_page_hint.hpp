// The end-of-run hint about the code page: when many files read in the
// configured code page look like another script's text, which value of
// SOURCE_FILE_CODE_PAGE to try. Pure: the run gathers the counts and prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress.hpp"

namespace corvanne {

// The writing system a code page serves; code pages of one script read each
// other's files with few wrong letters, those of two scripts do not.
enum class Script {
  kNone,  // no single script: Unicode, ASCII, BYTES, no guess, or a name not listed
  kLatin,
  kCyrillic,
  kGreek,
  kHebrew,
  kArabic,
  kThai,
  kChineseTraditional,
  kChineseSimplified,
  kJapanese,
  kKorean,
};

// The script of a code page named as iconv or the detector names it
// ("WINDOWS-1252", "CP950", "BIG5", "TIS-620"...), compared upper-case.
Script ScriptOfCodePage(std::string_view name);

// The code page Windows uses for what the detector names `guessed`
// (CP950 for BIG5, WINDOWS-874 for TIS-620...); else `guessed` as it is.
std::string WindowsCodePageFor(const std::string& guessed);

// How many files of a run were read as `read_as` and guessed as `guessed`.
struct EncodingCount {
  std::string read_as;  // LineReader::Encoding(), e.g. "WINDOWS-1252", "UTF-8"
  std::string guessed;  // LineReader::DetectedCodePage(); "" when not examined
  int64_t files = 0;
  std::string folder = {};  // the folder that holds them
};

// The hint to print once at the end of a run, or none.
struct CodePageHint {
  bool show = false;       // print it
  int64_t files = 0;       // files that look like `guessed`'s script
  int64_t read_files = 0;  // all files read as `read_as`
  std::string read_as;     // the code page they were read in
  std::string guessed;     // the detector's most frequent guess among `files`
  std::string suggested;   // the SOURCE_FILE_CODE_PAGE value to try
  std::string folder;      // when not empty: all of `files` are below it, and no other file read as `read_as`
};

// Looks at the files read in a code page (not UTF-8, UTF-16 or BYTES): when
// at least 3 of them, and at least a tenth, were guessed to be in a script
// other than their code page's, the hint names the script with most such
// files and suggests the code page Windows uses for it (CP950 for Big5,
// GB18030 for GBK, CP932 for Shift_JIS, CP949 for EUC-KR, WINDOWS-874 for
// TIS-620, else the guessed name). Guesses of the same script (ISO-8859-1 or
// WINDOWS-1250 for a WINDOWS-1252 run) never make a hint. When the deepest
// folder holding all of those files holds no other file read as `read_as`,
// the hint names it: a SOURCE_FILE_CODE_PAGES_BY_FOLDER item serves them
// without misreading the rest.
CodePageHint DecideCodePageHint(const std::vector<EncodingCount>& counts);

// The hint's text, one line for standard error, e.g. "Note: 1,210 of the
// 1,214 files read as WINDOWS-1252 look like BIG5 text. If that is their code
// page, set SOURCE_FILE_CODE_PAGE to CP950 and run again."; with a folder:
// "Note: 562 of the 2,120 files read as WINDOWS-1252 look like TIS-620 text,
// all of them in \"/src/th\". If that is their code page, add the item
// /src/th=WINDOWS-874 to SOURCE_FILE_CODE_PAGES_BY_FOLDER and run again."
std::string CodePageHintText(const CodePageHint& hint);

// CodePageHintText of the hint a run's counts give, or empty when there is
// none: the closing words of the terminal run and of the window alike.
std::string CodePageHintLine(const RunCounts& counts);

}  // namespace corvanne
