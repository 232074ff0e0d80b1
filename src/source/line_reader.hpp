// Reads a text file streaming, decodes it and cuts the text into rows at the
// row delimiter. Memory does not grow with the file: a block or two plus the
// longest row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/code_page.hpp"
#include "source/text_source.hpp"

namespace corvanne {

class LineReader {
 public:
  // `delimiter` "\r\n" ends a row at CR LF and also at a lone LF; any other
  // text ends rows where it stands, literally; an empty delimiter makes the
  // whole file one row. Rows are cut in the decoded text, so a delimiter is
  // never found inside a character. Rows longer than `max_line_length`
  // characters (bytes under BYTES) are errors, and so are rows holding a NUL
  // character (binary content). `decoding` as the settings give it (see
  // TextSource for the rule); BYTES, the default here, hands out the file's
  // bytes as they are.
  LineReader(std::string path, std::string delimiter, std::size_t max_line_length, SourceDecoding decoding = {});
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens the file and decides its encoding; false with Error() set when the
  // code page is unknown or the file cannot be opened or read.
  bool Open();
  // The next row in `line`, UTF-8 unless under BYTES (valid until the next
  // call). False at the end of the file, or on an error (Error() not empty:
  // unreadable or shrunken file, bytes not valid in the file's encoding
  // naming line and byte offset, a row over the limit naming its line
  // number). A delimiter at the very end adds no empty row; an empty line is
  // an empty row.
  bool Next(std::string_view& line);
  // 1-based number of the last row returned.
  int64_t LineNumber() const { return line_number_; }
  const std::string& Error() const { return error_; }
  // What the file is read as: "UTF-8", "UTF-16LE", "UTF-16BE", the code
  // page's name (e.g. "WINDOWS-1252") or "BYTES". Known after Open.
  const std::string& Encoding() const { return source_.Encoding(); }
  // For a file read in the code page, the detector's guess at its real code
  // page ("BIG5", "ISO-8859-1"...); "" for other files and for text whose
  // non-ASCII bytes stand alone in a Latin code page. Call after the last row.
  std::string DetectedCodePage() { return source_.DetectedCodePage(); }
  // Under REPLACE: bad byte sequences that became U+FFFD so far, the file
  // offset of the first, and the line it is in (0 until that row is handed out).
  int64_t Replaced() const { return source_.Replaced(); }
  uint64_t FirstReplacedOffset() const { return source_.FirstReplacedOffset(); }
  int64_t FirstReplacedLine() const { return first_replaced_line_; }

 private:
  // Searches [scan_, end) for the end of the current row; true with its
  // position and the length of the delimiter found there.
  bool FindDelimiter(std::size_t& at, std::size_t& length);
  // The same for a delimiter of several bytes, or none.
  bool FindLongDelimiter(std::size_t& at, std::size_t& length);
  // Brings more text behind the unreturned text; false with error_ set.
  bool Fill();
  // Length of `bytes` bytes of text from `from`, in the unit of the limit.
  std::size_t Length(std::size_t from, std::size_t bytes) const;
  // Counts the rest of an over-long current row and sets the error naming it.
  bool FailLongRow();
  // Hands out the row of `length` bytes at text_.begin that ends with the
  // delimiter at `next` (where the following row starts); false with the
  // error set when it holds a NUL.
  bool TakeRow(std::size_t length, std::size_t next, std::string_view& line);
  // Sets the error naming the row just counted, which holds a NUL; false.
  bool FailNul();

  std::string delimiter_;
  bool line_breaks_ = false;          // "\r\n": CR LF or a lone LF ends a row
  std::size_t max_line_length_;
  TextSource source_;
  TextBuffer text_;                   // holds the current row and what follows it
  std::size_t scan_ = 0;              // from here on [text_.begin, text_.end) is not yet searched
  int64_t line_number_ = 0;
  int64_t first_replaced_line_ = 0;   // the row holding the first U+FFFD of a bad sequence
  std::string error_;
};

}  // namespace corvanne
