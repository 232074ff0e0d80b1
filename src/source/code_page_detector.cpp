// The libuchardet guess for one file; see code_page_detector.hpp. The
// detector costs about 4 microseconds per line with non-ASCII text, more than
// reading the file, so it sees a bounded part of each file and, in a Latin
// run, only text that may be of another script.
#include "source/code_page_detector.hpp"

#include <uchardet.h>

#include <algorithm>

#include "common/text.hpp"
#include "common/utf8.hpp"
#include "source/code_page_hint.hpp"

namespace corvanne {

namespace {

constexpr std::size_t kExaminedBytes = std::size_t{64} * 1024;

// True when the non-ASCII bytes of `bytes` come in runs, as in text of a
// script written with multi-byte characters or with no Latin letters: at
// least four of them follow another one, and those are two in five or more.
// In Western text they are accented letters mostly standing alone.
bool NonAsciiInRuns(std::string_view bytes) {
  std::size_t high = 0;
  std::size_t following_high = 0;
  for (std::size_t at = AsciiPrefix(bytes); at < bytes.size(); at += AsciiPrefix(bytes.substr(at))) {
    ++high;
    if (at > 0 && static_cast<unsigned char>(bytes[at - 1]) >= 0x80) ++following_high;
    ++at;
  }
  return following_high >= 4 && following_high * 5 >= high * 2;
}

}  // namespace

CodePageDetector::CodePageDetector(std::string_view configured)
    : only_runs_(ScriptOfCodePage(configured) == Script::kLatin) {}

CodePageDetector::~CodePageDetector() {
  if (detector_ != nullptr) uchardet_delete(detector_);
}

void CodePageDetector::Feed(std::string_view bytes) {
  if (ended_ || examined_ >= kExaminedBytes || bytes.empty()) return;
  bytes = bytes.substr(0, kExaminedBytes - examined_);
  if (detector_ == nullptr) {
    if (only_runs_ && !NonAsciiInRuns(bytes)) return;
    detector_ = uchardet_new();
    if (detector_ == nullptr) return;  // out of memory: no guess, the load goes on
  }
  uchardet_handle_data(detector_, bytes.data(), bytes.size());
  examined_ += bytes.size();
}

std::string CodePageDetector::Guess() {
  if (!ended_ && detector_ != nullptr) {
    uchardet_data_end(detector_);
    const char* charset = uchardet_get_charset(detector_);
    guess_ = TrimUpper(charset != nullptr ? charset : "");
  }
  ended_ = true;
  return guess_;
}

}  // namespace corvanne
