// One source file as UTF-8 text, block by block, for the row splitter: it
// reads the file, decides its encoding and decodes. Cutting rows is
// LineReader's; decoders and the code page rules are common/'s.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/code_page.hpp"
#include "common/text_decoding.hpp"
#include "source/code_page_detector.hpp"

namespace corvanne {

// The text a TextSource hands over and the splitter cuts.
struct TextBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;  // size of data
  std::size_t begin = 0;     // first byte the splitter has not handed out
  std::size_t end = 0;       // end of the text ready to cut
};

// How a source file is decoded, as the settings give it.
struct SourceDecoding {
  // A code page alone; the rest at its default.
  SourceDecoding(std::string code_page_value = kBytes, std::string fallback_value = {},  // NOLINT(google-explicit-constructor)
                 std::string undecodable_value = {})
      : code_page(std::move(code_page_value)),
        fallback(std::move(fallback_value)),
        undecodable_bytes(std::move(undecodable_value)) {}
  SourceDecoding(const char* code_page_value)  // NOLINT(google-explicit-constructor)
      : SourceDecoding(std::string(code_page_value)) {}

  std::string code_page;          // SOURCE_FILE_CODE_PAGE, or the file's folder's item
  std::string fallback;           // SOURCE_FILE_CODE_PAGE_FALLBACK: AUTO's choice when the detector is not sure
  std::string undecodable_bytes;  // SOURCE_FILE_UNDECODABLE_BYTES: REPLACE (empty) or FAIL
};

// Decides per file: a byte-order mark (UTF-8, UTF-16 LE/BE, left out of the
// text); else a file with UTF-16's pattern (a NUL in every other byte) is
// UTF-16 under AUTO and fails under any other code page; else UTF-8 when
// the whole file is valid UTF-8; else the code page (under AUTO, the
// detector's when it is sure and the first block decodes in it without a
// bad byte, else the fallback). A file larger than one block whose first
// block is valid UTF-8 is read whole to decide when it is at most 16 MiB
// (one read, checked once, where it lies); a bigger one is read ahead once
// to its end and then again, so memory stays two blocks and the longest row
// whatever the size. Under BYTES the
// bytes are the text. Bad bytes become U+FFFD under REPLACE, counted; under
// FAIL they end the text.
class TextSource {
 public:
  static constexpr uint64_t kNoPosition = ~uint64_t{0};  // no such place in the text

  TextSource(std::string path, SourceDecoding decoding);
  ~TextSource();
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  // Opens the file (a regular file only), reads its first block and decides
  // its encoding; the first text is then in `text`. False with `error` set
  // (naming the file) when the code page is unknown or the file cannot be
  // opened or read, or looks like UTF-16 without a byte-order mark while
  // the code page is not AUTO).
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
  // Under REPLACE: bad sequences replaced so far, the file offset of the
  // first, and where its U+FFFD stands in the text as a whole (see
  // TextPosition); npos while there is none.
  int64_t Replaced() const { return replaced_; }
  uint64_t FirstReplacedOffset() const { return first_replaced_offset_; }
  uint64_t FirstReplacedPosition() const { return first_replaced_position_; }
  // Where the first NUL stands in the text as a whole; npos while none was met.
  uint64_t FirstNulPosition() const { return first_nul_position_; }
  // Where `index` of the text buffer stands in the file's whole text.
  uint64_t TextPosition(std::size_t index) const { return text_shifted_ + index; }

 private:
  enum class Mode { kBytes, kUtf8, kDecode };

  // Reads up to `wanted` bytes into `at` from `position` on (the file's
  // read position), never past the size the file had when it was opened.
  bool Read(char* at, std::size_t wanted, uint64_t& position, std::size_t& got, bool& at_end, std::string& error);
  // Decides the encoding from the first block, now in `text`.
  bool Decide(TextBuffer& text, std::string& error);
  // Reads the rest of the file (at most a few MiB) into `text` behind the
  // first block, which grows to the file's size.
  bool ReadRest(TextBuffer& text, std::string& error);
  // Reads the rest of the file ahead, the `carried` last bytes of the first
  // block first; `valid` when all of it is valid UTF-8. The read position is
  // put back.
  bool RestIsUtf8(std::size_t carried, const TextBuffer& text, bool& valid, std::string& error);
  // From here the bytes after `skip` in `text` are input for the decoder
  // `decoder`, shown as `shown`; `in_code_page` when that is the configured
  // code page (the detector looks, for the hint).
  bool StartDecoding(TextBuffer& text, const std::string& decoder, const std::string& shown, std::size_t skip,
                     bool in_code_page, std::string& error);
  // AUTO: the code page of a file that is neither marked nor UTF-8, from
  // its first block `first`.
  const CodePage& ChooseCodePage(std::string_view first);
  // UTF-8 with bad bytes at text.end under REPLACE: the rest of the file
  // goes through the decoder, which replaces them.
  bool DecodeRestAsUtf8(TextBuffer& text, std::string& error);
  // Makes the text end at `end`, noting the first NUL in what is added.
  void Extend(TextBuffer& text, std::size_t end);
  // Under REPLACE: U+FFFD at text.end for the bad sequence at file offset `offset`.
  void Replace(TextBuffer& text, uint64_t offset);
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
  SourceDecoding decoding_;         // as configured
  CodePage code_page_;              // parsed by Open
  CodePage fallback_;               // parsed by Open: AUTO's choice when the detector is not sure
  UndecodableBytes undecodable_ = UndecodableBytes::kReplace;  // parsed by Open
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
  std::string auto_guess_;          // AUTO: the detector's guess from the first block
  CodePage guessed_;                // AUTO: the code page Windows uses for that guess
  int64_t replaced_ = 0;            // REPLACE: bad sequences replaced
  uint64_t first_replaced_offset_ = 0;    // REPLACE: file offset of the first
  uint64_t first_replaced_position_ = kNoPosition;  // REPLACE: its U+FFFD in the whole text
  uint64_t first_nul_position_ = kNoPosition;  // the first NUL in the whole text
  uint64_t text_shifted_ = 0;       // text bytes moved out of the front of the buffer so far

};

}  // namespace corvanne
