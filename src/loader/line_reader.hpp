// Reads a text file streaming and cuts it into rows at the row delimiter.
// Memory does not grow with the file: one buffer plus the longest row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace corvanne {

class LineReader {
 public:
  // `delimiter` "\r\n" ends a row at CR LF and also at a lone LF; any other
  // text ends rows where it stands, literally.
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
  std::string path_;
  std::string delimiter_;
  std::size_t max_line_bytes_;
  std::FILE* file_ = nullptr;
  std::string buffer_;       // bytes read but not yet returned
  std::size_t begin_ = 0;    // start of the unreturned bytes in buffer_
  bool eof_ = false;
  int64_t line_number_ = 0;
  std::string error_;
};

}  // namespace corvanne
