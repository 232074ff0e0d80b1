// One source file as UTF-8 text, block by block, for the row splitter: it
// reads the file, decides its encoding and decodes. Cutting rows is
// LineReader's; decoders and the code page rules are common/'s.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/code_page.hpp"
#include "common/text_decoding.hpp"
#include "loader/code_page_detector.hpp"

namespace corvanne {

// The text a TextSource hands over and the splitter cuts.
struct TextBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;  // size of data
  std::size_t begin = 0;     // first byte the splitter has not handed out
  std::size_t end = 0;       // end of the text ready to cut
};

// Decides per file: a byte-order mark (UTF-8, UTF-16 LE/BE, left out of the
// text); else UTF-8 when the whole file is valid UTF-8; else the code page.
// A file larger than one block whose first block is valid UTF-8 is read
// ahead once to its end to decide, so memory stays two blocks and the
// longest row whatever the size. Under BYTES the bytes are the text. Bad bytes are never replaced.
class TextSource {
 public:
  // `code_page` as SOURCE_FILE_CODE_PAGE gives it.
  TextSource(std::string path, std::string code_page);
  ~TextSource();
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  // Opens the file (a regular file only), reads its first block and decides
  // its encoding; the first text is then in `text`. False with `error` set
  // (naming the file) when the code page is unknown or the file cannot be
  // opened or read.
  bool Open(TextBuffer& text, std::string& error);
  // Moves the text not handed out to the front of `text`, doubles the buffer
  // when that fills it, and appends more. Bad bytes end the text before
  // them; the next call then fails with `error` naming the file, `next_line`
  // and the byte offset. False too when reading fails or the file shrank
  // since it was opened. At the end of the text it appends nothing.
  bool Fill(TextBuffer& text, int64_t next_line, std::string& error);
  // The file, as given.
  const std::string& Path() const { return path_; }
  // True when all of the file is in `text`.
  bool AtEnd() const;
  // True under BYTES: lengths are counted in bytes, else in characters.
  bool CountsBytes() const { return mode_ == Mode::kBytes; }
  // What the file is read as: "UTF-8", "UTF-16LE", "UTF-16BE", the code
  // page's name, or "BYTES". Set by Open.
  const std::string& Encoding() const { return encoding_; }
  // The detector's guess for a file read in the code page; "" for other files.
  std::string DetectedCodePage();

 private:
  enum class Mode { kBytes, kUtf8, kDecode };

  // Reads up to `wanted` bytes into `at` from `position` on (the file's
  // read position), never past the size the file had when it was opened.
  bool Read(char* at, std::size_t wanted, uint64_t& position, std::size_t& got, bool& at_end, std::string& error);
  // Decides the encoding from the first block, now in `text`.
  bool Decide(TextBuffer& text, std::string& error);
  // Reads the rest of the file ahead, the `carried` last bytes of the first
  // block first; `valid` when all of it is valid UTF-8. The read position is
  // put back.
  bool RestIsUtf8(std::size_t carried, const TextBuffer& text, bool& valid, std::string& error);
  // From here the bytes after `skip` in `text` are input in `encoding`;
  // `in_code_page` when that is the configured code page (the detector looks).
  bool StartDecoding(TextBuffer& text, const std::string& encoding, std::size_t skip, bool in_code_page,
                     std::string& error);
  // Extends the text over `valid` bytes checked as UTF-8; notes bad bytes
  // after them unless they are a character cut off by the end of the read.
  void TakeUtf8(TextBuffer& text, std::size_t valid, bool cut_off);
  // Moves the text not handed out to the front, doubling the buffer when
  // less than `wanted_space` is left behind it.
  void MakeRoom(TextBuffer& text, std::size_t wanted_space);
  // Decodes until the text grows, reading input as needed.
  bool FillDecoded(TextBuffer& text, int64_t next_line, std::string& error);
  // "cannot read source file ... after line N: cause".
  std::string ReadFailure(int64_t next_line, const std::string& cause) const;
  // Offset in the file of the `unread`-th byte before the read position.
  uint64_t OffsetBefore(std::size_t unread) const { return bytes_read_ - unread; }

  std::string path_;
  std::string code_page_value_;     // as configured
  CodePage code_page_;              // parsed by Open
  Mode mode_ = Mode::kBytes;        // decided by Open
  std::string encoding_;            // what Encoding() says
  std::FILE* file_ = nullptr;       // unbuffered: reads are block-sized
  uint64_t expected_bytes_ = 0;     // size of the file when it was opened (0: unknown)
  uint64_t bytes_read_ = 0;         // read position: bytes read from the file so far
  bool eof_ = false;                // nothing more to read
  std::size_t raw_end_ = 0;         // kBytes, kUtf8: end of the bytes read into the text buffer
  TextDecoder decoder_;             // kDecode
  std::unique_ptr<char[]> input_;   // kDecode: bytes read, not yet decoded
  std::size_t input_capacity_ = 0;  // size of input_
  std::size_t input_begin_ = 0;     // first byte not decoded
  std::size_t input_end_ = 0;       // end of the bytes read into input_
  bool input_used_ = false;         // input_ holds at most a character cut off by its end
  std::string bad_bytes_;           // bad bytes found ahead of the splitter; reported when it gets there
  std::optional<CodePageDetector> detector_;  // files read in the configured code page
};

}  // namespace corvanne
