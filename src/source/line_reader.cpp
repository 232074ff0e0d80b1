// Streaming row splitter of the load engine. Cuts the decoded text in big
// blocks and hands out views into them, so that a row costs one memchr and
// no copy.
#include "source/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/utf8.hpp"

namespace corvanne {

LineReader::LineReader(std::string path, std::string delimiter, std::size_t max_line_length, SourceDecoding decoding)
    : delimiter_(std::move(delimiter)),
      line_breaks_(delimiter_ == "\r\n"),
      max_line_length_(max_line_length),
      source_(std::move(path), std::move(decoding)) {}

bool LineReader::Open() {
  if (!source_.Open(text_, error_)) return false;
  scan_ = text_.begin;
  return true;
}

// Once per row: kept small enough to be inlined into Next, the rarer
// delimiters of several bytes apart.
inline bool LineReader::FindDelimiter(std::size_t& at, std::size_t& length) {
  if (!line_breaks_ && delimiter_.size() != 1) return FindLongDelimiter(at, length);
  const char* data = text_.data.get();
  const std::size_t end = text_.end;
  const char wanted = line_breaks_ ? '\n' : delimiter_[0];
  const void* hit = std::memchr(data + scan_, wanted, end - scan_);
  if (hit == nullptr) {
    scan_ = end;
    return false;
  }
  at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
  length = 1;
  return true;
}

bool LineReader::FindLongDelimiter(std::size_t& at, std::size_t& length) {
  const char* data = text_.data.get();
  const std::size_t end = text_.end;
  if (delimiter_.empty()) {
    scan_ = end;
    return false;
  }
  const std::size_t size = delimiter_.size();
  std::size_t pos = scan_;
  while (pos < end) {
    const void* hit = std::memchr(data + pos, delimiter_[0], end - pos);
    if (hit == nullptr) break;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    if (end - pos < size) {
      // Maybe the start of a delimiter whose rest is not read yet.
      scan_ = pos;
      return false;
    }
    if (std::memcmp(data + pos, delimiter_.data(), size) == 0) {
      at = pos;
      length = size;
      return true;
    }
    ++pos;
  }
  scan_ = end;
  return false;
}

bool LineReader::Fill() {
  const std::size_t shift = text_.begin;  // Fill moves the unreturned text to the front
  if (!source_.Fill(text_, line_number_ + 1, error_)) return false;
  scan_ -= shift;
  return true;
}

std::size_t LineReader::Length(std::size_t from, std::size_t bytes) const {
  if (source_.CountsBytes()) return bytes;
  return CountCodePoints(std::string_view(text_.data.get() + from, bytes));
}

bool LineReader::FailLongRow() {
  // The row is too long to hand out; read on to its end only to count it,
  // keeping the tail that may be the start of its delimiter. Characters are
  // counted by the bytes that start them, so a character split between the
  // part counted and the part kept is counted once.
  uint64_t discarded = 0;
  uint64_t length = 0;
  while (true) {
    std::size_t at = 0;
    std::size_t delimiter_length = 0;
    if (FindDelimiter(at, delimiter_length)) {
      std::size_t row_end = at;
      if (line_breaks_ && at > text_.begin && text_.data[at - 1] == '\r') --row_end;
      length = discarded + Length(text_.begin, row_end - text_.begin);
      break;
    }
    if (source_.AtEnd()) {
      length = discarded + Length(text_.begin, text_.end - text_.begin);
      break;
    }
    const std::size_t keep = std::min(text_.end - text_.begin, std::max<std::size_t>(delimiter_.size(), 1));
    discarded += Length(text_.begin, text_.end - keep - text_.begin);
    text_.begin = text_.end - keep;
    scan_ = std::max(scan_, text_.begin);
    if (!Fill()) return false;
  }
  const char* unit = source_.CountsBytes() ? " bytes" : " characters";
  error_ = "\"" + std::string(source_.Path()) + "\" line " + std::to_string(line_number_ + 1) + ": line is " +
           std::to_string(length) + unit + ", longer than the " + std::to_string(max_line_length_) + " allowed";
  return false;
}

bool LineReader::FailNul() {
  error_ = "\"" + source_.Path() + "\" line " + std::to_string(line_number_) + ": binary content (a NUL " +
           (source_.CountsBytes() ? "byte" : "character") + " in the line)";
  return false;
}

inline bool LineReader::TakeRow(std::size_t length, std::size_t next, std::string_view& line) {
  ++line_number_;
  line = std::string_view(text_.data.get() + text_.begin, length);
  // A NUL is no text: one destination would cut the row there, another
  // store it, a third refuse it. The file fails alike on all of them.
  if (source_.FirstNulPosition() < source_.TextPosition(text_.begin + length)) return FailNul();
  if (first_replaced_line_ == 0 && source_.FirstReplacedPosition() < source_.TextPosition(next)) {
    first_replaced_line_ = line_number_;
  }
  text_.begin = next;
  scan_ = next;
  return true;
}

bool LineReader::Next(std::string_view& line) {
  if (!text_.data || !error_.empty()) return false;
  while (true) {
    std::size_t at = 0;
    std::size_t delimiter_length = 0;
    if (FindDelimiter(at, delimiter_length)) {
      std::size_t length = at - text_.begin;
      if (line_breaks_ && length > 0 && text_.data[at - 1] == '\r') --length;
      // Characters are never more than bytes: only a long row is counted.
      if (length > max_line_length_ && Length(text_.begin, length) > max_line_length_) return FailLongRow();
      return TakeRow(length, at + delimiter_length, line);
    }
    const std::size_t pending = text_.end - text_.begin;
    if (source_.AtEnd()) {
      // The last row has no delimiter after it; a delimiter at the very end
      // left nothing here and so adds no row.
      if (pending == 0) return false;
      if (pending > max_line_length_ && Length(text_.begin, pending) > max_line_length_) return FailLongRow();
      return TakeRow(pending, text_.end, line);
    }
    // No delimiter in more than the limit plus a delimiter's bytes: whatever
    // comes next, this row is over the limit.
    const std::size_t slack = std::max<std::size_t>(delimiter_.size(), 1);
    if (pending > slack && pending - slack > max_line_length_ &&
        Length(text_.begin, pending - slack) > max_line_length_) {
      return FailLongRow();
    }
    if (!Fill()) return false;
  }
}

}  // namespace corvanne
