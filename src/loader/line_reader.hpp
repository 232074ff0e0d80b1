// Reads a text file streaming and cuts it into rows at the row delimiter.
// Memory does not grow with the file: one buffer plus the longest row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace corvanne {

class LineReader {
 public:
  // `delimiter` "\r\n" ends a row at CR LF and also at a lone LF; any other
  // text ends rows where it stands, literally; an empty delimiter makes the
  // whole file one row. Rows longer than `max_line_bytes` are errors.
  LineReader(std::string path, std::string delimiter, std::size_t max_line_bytes);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens the file; false with Error() set when it cannot be opened.
  bool Open();
  // The next row in `line` (valid until the next call). False at the end of
  // the file, or on an error (Error() not empty: unreadable file, a row over
  // the limit naming its line number). A delimiter at the very end adds no
  // empty row; an empty line is an empty row.
  bool Next(std::string_view& line);
  // 1-based number of the last row returned.
  int64_t LineNumber() const { return line_number_; }
  const std::string& Error() const { return error_; }

 private:
  // Searches [scan_, end_) for the end of the current row; true with its
  // position and the length of the delimiter found there.
  bool FindDelimiter(std::size_t& at, std::size_t& length);
  // Moves the unreturned bytes to the front and reads more behind them;
  // false with error_ set when reading failed.
  bool Fill();
  // Counts the rest of an over-long current row and sets the error naming it.
  bool FailLongRow();

  std::string path_;
  std::string delimiter_;
  bool line_breaks_ = false;          // "\r\n": CR LF or a lone LF ends a row
  std::size_t max_line_bytes_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;    // holds the current row and what follows it
  std::size_t capacity_ = 0;          // size of buffer_
  std::size_t begin_ = 0;             // start of the unreturned bytes in buffer_
  std::size_t end_ = 0;               // end of the bytes read into buffer_
  std::size_t scan_ = 0;              // from here on [begin_, end_) is not yet searched
  bool eof_ = false;                  // the file has no more bytes to read
  uint64_t expected_bytes_ = 0;       // size of the file when it was opened (0: unknown)
  uint64_t bytes_read_ = 0;           // bytes read from the file so far
  int64_t line_number_ = 0;
  std::string error_;
};

}  // namespace corvanne
