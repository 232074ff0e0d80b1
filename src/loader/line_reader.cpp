// Streaming row splitter of the load engine. Reads big blocks and hands out
// views into them, so that a row costs one memchr and no copy.
#include "loader/line_reader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace corvanne {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{256} * 1024;  // one read; big enough that a row rarely spans two

std::string CauseText(int errno_value) { return std::generic_category().message(errno_value); }

enum class FileKind { kRegular, kDirectory, kOther };

// What the open `file` is, and its size when it is a regular file.
FileKind KindOfOpenFile(std::FILE* file, const std::string& path, uint64_t& size) {
#ifndef _WIN32
  (void)path;
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0) return FileKind::kOther;
  if (S_ISDIR(info.st_mode)) return FileKind::kDirectory;
  if (!S_ISREG(info.st_mode)) return FileKind::kOther;
  size = static_cast<uint64_t>(info.st_size);
  return FileKind::kRegular;
#else
  (void)file;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::directory) return FileKind::kDirectory;
  if (ec || status.type() != std::filesystem::file_type::regular) return FileKind::kOther;
  size = std::filesystem::file_size(path, ec);
  if (ec) size = 0;
  return FileKind::kRegular;
#endif
}

}  // namespace

LineReader::LineReader(std::string path, std::string delimiter, std::size_t max_line_bytes)
    : path_(std::move(path)),
      delimiter_(std::move(delimiter)),
      line_breaks_(delimiter_ == "\r\n"),
      max_line_bytes_(max_line_bytes) {}

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::Open() {
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ == nullptr) {
    error_ = "cannot open source file \"" + path_ + "\": " + CauseText(errno);
    return false;
  }
  // A folder opens as a file here and then fails on the first read; a
  // device or a pipe may never end (or never answer). Only a regular file is
  // a source file. Asked of the open file, so it is the file that is read.
  const FileKind kind = KindOfOpenFile(file_, path_, expected_bytes_);
  if (kind != FileKind::kRegular) {
    error_ = "cannot open source file \"" + path_ + "\": " +
             (kind == FileKind::kDirectory ? std::make_error_code(std::errc::is_a_directory).message()
                                           : std::string("not a regular file"));
    return false;
  }
  // Reads are already block-sized; stdio's own buffer would only add a copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  capacity_ = kBlockBytes;
  buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
  return true;
}

bool LineReader::FindDelimiter(std::size_t& at, std::size_t& length) {
  const char* data = buffer_.get();
  if (line_breaks_ || delimiter_.size() == 1) {
    const char wanted = line_breaks_ ? '\n' : delimiter_[0];
    const void* hit = std::memchr(data + scan_, wanted, end_ - scan_);
    if (hit == nullptr) {
      scan_ = end_;
      return false;
    }
    at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    length = 1;
    return true;
  }
  if (delimiter_.empty()) {
    scan_ = end_;
    return false;
  }
  const std::size_t size = delimiter_.size();
  std::size_t pos = scan_;
  while (pos < end_) {
    const void* hit = std::memchr(data + pos, delimiter_[0], end_ - pos);
    if (hit == nullptr) break;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    if (end_ - pos < size) {
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
  scan_ = end_;
  return false;
}

bool LineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    scan_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // Only a row longer than a block gets here, and rows are limited.
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  std::size_t wanted = capacity_ - end_;
  // Asking for no more than the file holds lets one read fill it; asking for
  // more would make the read go round once more only to hear "end of file".
  if (expected_bytes_ > bytes_read_) wanted = static_cast<std::size_t>(std::min<uint64_t>(wanted, expected_bytes_ - bytes_read_));
  const std::size_t got = std::fread(buffer_.get() + end_, 1, wanted, file_);
  end_ += got;
  bytes_read_ += got;
  // The file is read as it was when it was opened: once that many bytes are
  // in, it is done. A size of 0 may be a file whose size is not known in
  // advance (as under /proc), so that one is read until a read comes back short.
  if (got == wanted && expected_bytes_ > 0 && bytes_read_ >= expected_bytes_) eof_ = true;
  if (got < wanted) {
    if (std::ferror(file_)) {
      error_ = "cannot read source file \"" + path_ + "\" after line " + std::to_string(line_number_) + ": " +
               CauseText(errno);
      return false;
    }
    eof_ = true;
  }
  return true;
}

bool LineReader::FailLongRow() {
  // The row is too long to hand out; read on to its end only to count it,
  // keeping the tail that may be the start of its delimiter.
  uint64_t discarded = 0;
  uint64_t length = 0;
  while (true) {
    std::size_t at = 0;
    std::size_t delimiter_length = 0;
    if (FindDelimiter(at, delimiter_length)) {
      length = discarded + (at - begin_);
      if (line_breaks_ && at > begin_ && buffer_[at - 1] == '\r') --length;
      break;
    }
    if (eof_) {
      length = discarded + (end_ - begin_);
      break;
    }
    const std::size_t keep = std::min(end_ - begin_, std::max<std::size_t>(delimiter_.size(), 1));
    discarded += end_ - keep - begin_;
    begin_ = end_ - keep;
    scan_ = std::max(scan_, begin_);
    if (!Fill()) return false;
  }
  error_ = "\"" + path_ + "\" line " + std::to_string(line_number_ + 1) + ": line is " + std::to_string(length) +
           " bytes, longer than the " + std::to_string(max_line_bytes_) + " allowed";
  return false;
}

bool LineReader::Next(std::string_view& line) {
  if (file_ == nullptr || !error_.empty()) return false;
  while (true) {
    std::size_t at = 0;
    std::size_t delimiter_length = 0;
    if (FindDelimiter(at, delimiter_length)) {
      std::size_t length = at - begin_;
      if (line_breaks_ && length > 0 && buffer_[at - 1] == '\r') --length;
      if (length > max_line_bytes_) return FailLongRow();
      line = std::string_view(buffer_.get() + begin_, length);
      begin_ = at + delimiter_length;
      scan_ = begin_;
      ++line_number_;
      return true;
    }
    if (eof_) {
      // The last row has no delimiter after it; a delimiter at the very end
      // left nothing here and so adds no row.
      if (begin_ == end_) return false;
      if (end_ - begin_ > max_line_bytes_) return FailLongRow();
      line = std::string_view(buffer_.get() + begin_, end_ - begin_);
      begin_ = end_;
      scan_ = end_;
      ++line_number_;
      return true;
    }
    // No delimiter in more than the limit plus a delimiter's bytes: whatever
    // comes next, this row is over the limit.
    const std::size_t pending = end_ - begin_;
    const std::size_t slack = std::max<std::size_t>(delimiter_.size(), 1);
    if (pending > slack && pending - slack > max_line_bytes_) return FailLongRow();
    if (!Fill()) return false;
  }
}

}  // namespace corvanne
