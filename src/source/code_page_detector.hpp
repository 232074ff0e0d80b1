// A guess at the code page of one file's bytes, by libuchardet, for the
// end-of-run hint. Only files read in the configured code page are examined;
// what to tell the user is code_page_hint.hpp's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct uchardet;  // libuchardet's detector

namespace corvanne {

class CodePageDetector {
 public:
  // `configured` is the code page the file is read in. For a Latin one,
  // bytes whose non-ASCII bytes stand alone (accented letters between ASCII
  // ones, as in Western text) are not examined: the detector is slow, and
  // Chinese, Japanese, Korean, Thai, Cyrillic or Greek text has its
  // non-ASCII bytes in runs.
  explicit CodePageDetector(std::string_view configured);
  ~CodePageDetector();
  CodePageDetector(const CodePageDetector&) = delete;
  CodePageDetector& operator=(const CodePageDetector&) = delete;

  // Looks at the next bytes of the file; past the first 64 KiB examined it
  // looks no further.
  void Feed(std::string_view bytes);
  // The detector's guess as an iconv name, upper-case ("BIG5", "GB18030",
  // "TIS-620", "ISO-8859-1"...); "" when nothing was examined or it has none.
  // Ends the feeding.
  std::string Guess();

 private:
  bool only_runs_ = false;    // the configured code page is Latin: skip text with lone non-ASCII bytes
  uchardet* detector_ = nullptr;  // made when the first bytes are examined
  std::size_t examined_ = 0;  // bytes given to the detector so far
  bool ended_ = false;        // Guess() was called
  std::string guess_;
};

}  // namespace corvanne
