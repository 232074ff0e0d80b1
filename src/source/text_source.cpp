// Reading and decoding one source file; see text_source.hpp. UTF-8 and BYTES
// text is cut where it was read, with no copy; other encodings are decoded
// from an input block into the text buffer.
#include "source/text_source.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/platform.hpp"
#include "common/utf8.hpp"
#include "source/code_page_hint.hpp"

#include <sys/stat.h>
#include <sys/types.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace corvanne {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{256} * 1024;  // one read; big enough that a row rarely spans two
// A file up to this size whose first block does not settle its encoding is
// read whole: reading ahead and then again would cost a second read.
constexpr uint64_t kWholeFileBytes = uint64_t{16} * 1024 * 1024;
constexpr std::size_t kDecodeSpace = 64;  // least room a decoding step gets: one character always fits

std::string CauseText(int errno_value) { return std::generic_category().message(errno_value); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

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
  (void)path;
  struct _stati64 info {};
  if (_fstati64(_fileno(file), &info) != 0) return FileKind::kOther;
  if ((info.st_mode & _S_IFDIR) != 0) return FileKind::kDirectory;
  if ((info.st_mode & _S_IFREG) == 0) return FileKind::kOther;
  size = static_cast<uint64_t>(info.st_size);
  return FileKind::kRegular;
#endif
}

// Opens `path` to read it. A FIFO put where a file was listed would hold
// the open up until a writer came: it is opened without waiting (and then
// refused as not a regular file); a regular file reads as usual.
std::FILE* OpenForReading(const std::string& path) {
#ifndef _WIN32
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int cause = errno;
    ::close(fd);
    errno = cause;
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    const int cause = errno;
    ::close(fd);
    errno = cause;
  }
  return file;
#else
  return OpenFile(path, "rb");
#endif
}

bool SeekTo(std::FILE* file, uint64_t position) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace

TextSource::TextSource(std::string path, SourceDecoding decoding)
    : path_(std::move(path)), decoding_(std::move(decoding)) {}

TextSource::~TextSource() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TextSource::Open(TextBuffer& text, std::string& error) {
  std::string cause;
  if (!ParseCodePage(decoding_.code_page, code_page_, cause) ||
      !ParseCodePage(decoding_.fallback, fallback_, cause, "SOURCE_FILE_CODE_PAGE_FALLBACK", false) ||
      !ParseUndecodableBytes(decoding_.undecodable_bytes, undecodable_, cause)) {
    error = "cannot read source file " + Quoted(path_) + ": " + cause;
    return false;
  }
  file_ = OpenForReading(path_);
  if (file_ == nullptr) {
    error = "cannot open source file " + Quoted(path_) + ": " + CauseText(errno);
    return false;
  }
  // A folder opens as a file here and then fails on the first read; a
  // device or a pipe may never end (or never answer). Only a regular file is
  // a source file. Asked of the open file, so it is the file that is read.
  const FileKind kind = KindOfOpenFile(file_, path_, expected_bytes_);
  if (kind != FileKind::kRegular) {
    error = "cannot open source file " + Quoted(path_) + ": " +
            (kind == FileKind::kDirectory ? std::make_error_code(std::errc::is_a_directory).message()
                                          : std::string("not a regular file"));
    return false;
  }
  // Reads are already block-sized; stdio's own buffer would only add a copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  // A small file gets a buffer of its size: most source files are a few
  // kilobytes, and blocks allocated and freed per file cost more than reading.
  text.capacity = expected_bytes_ > 0 ? static_cast<std::size_t>(std::min<uint64_t>(kBlockBytes, expected_bytes_))
                                      : kBlockBytes;
  text.data = std::make_unique_for_overwrite<char[]>(text.capacity);
  text.begin = text.end = 0;
  std::size_t got = 0;
  if (!Read(text.data.get(), text.capacity, bytes_read_, got, eof_, cause)) {
    error = "cannot read source file " + Quoted(path_) + ": " + cause;
    return false;
  }
  raw_end_ = got;
  return Decide(text, error);
}

bool TextSource::Read(char* at, std::size_t wanted, uint64_t& position, std::size_t& got, bool& at_end,
                      std::string& error) {
  // Asking for no more than the file holds lets one read fill it; asking for
  // more would make the read go round once more only to hear "end of file".
  if (expected_bytes_ > position) wanted = static_cast<std::size_t>(std::min<uint64_t>(wanted, expected_bytes_ - position));
  got = std::fread(at, 1, wanted, file_);
  position += got;
  // The file is read as it was when it was opened: once that many bytes are
  // in, it is done. A size of 0 may be a file whose size is not known in
  // advance (as under /proc), so that one is read until a read comes back short.
  if (got == wanted && expected_bytes_ > 0 && position >= expected_bytes_) at_end = true;
  if (got < wanted) {
    if (std::ferror(file_)) {
      error = CauseText(errno);
      return false;
    }
    // Fewer bytes than the file had: loading what is left would lose lines
    // without a word.
    if (position < expected_bytes_) {
      error = "the file shrank from " + std::to_string(expected_bytes_) + " to " + std::to_string(position) +
              " bytes while it was read";
      return false;
    }
    at_end = true;
  }
  return true;
}

bool TextSource::Decide(TextBuffer& text, std::string& error) {
  if (code_page_.kind == CodePageKind::kBytes) {
    mode_ = Mode::kBytes;
    encoding_ = kBytes;
    Extend(text, raw_end_);
    return true;
  }
  const std::string_view first(text.data.get(), raw_end_);
  const ByteOrderMark mark = SniffByteOrderMark(first);
  const bool utf8_mark = mark.encoding != nullptr && std::string_view(mark.encoding) == kUtf8;
  if (mark.encoding != nullptr && !utf8_mark) {
    return StartDecoding(text, mark.encoding, mark.encoding, mark.length, false, error);
  }
  // ASCII text as UTF-16 is valid UTF-8 too (ASCII and NULs): the pattern
  // goes first, or rows full of NULs would be stored.
  if (const char* utf16 = utf8_mark ? nullptr : SniffUtf16Pattern(first)) {
    if (code_page_.kind == CodePageKind::kAuto) return StartDecoding(text, utf16, utf16, 0, false, error);
    error = "cannot read source file " + Quoted(path_) + ": it looks like " + utf16 +
            " text without a byte-order mark (a NUL in every other byte); save it with its mark, or set "
            "SOURCE_FILE_CODE_PAGE to AUTO";
    return false;
  }

  bool cut_off = false;
  std::size_t valid = ValidUtf8Prefix(first.substr(mark.length), cut_off);
  bool whole = mark.length + valid == raw_end_ || (cut_off && !eof_);
  // A file that says it is UTF-8 stays UTF-8: its bad bytes are UTF-8's.
  bool utf8 = utf8_mark || code_page_.kind == CodePageKind::kUtf8;
  const std::size_t first_size = first.size();
  if (!utf8 && whole && !eof_ && expected_bytes_ > raw_end_ && expected_bytes_ <= kWholeFileBytes) {
    // Only the rest can tell: it is read behind the first block, once, and
    // checked where it lies, UTF-8 or not.
    if (!ReadRest(text, error)) return false;
    valid += ValidUtf8Prefix(std::string_view(text.data.get() + mark.length + valid, raw_end_ - mark.length - valid),
                             cut_off);
    whole = mark.length + valid == raw_end_ || (cut_off && !eof_);
  }
  if (!utf8 && whole) {
    if (eof_) {
      utf8 = true;
    } else if (!RestIsUtf8(raw_end_ - mark.length - valid, text, utf8, error)) {
      return false;
    }
  }
  if (!utf8) {
    const bool chosen = code_page_.kind == CodePageKind::kAuto;
    const CodePage& code_page = chosen ? ChooseCodePage(std::string_view(text.data.get(), first_size)) : code_page_;
    const bool table = code_page.kind == CodePageKind::kWindows1252;
    return StartDecoding(text, table ? std::string(kWindows1252) : code_page.decoder, code_page.name, 0, !chosen,
                         error);
  }
  mode_ = Mode::kUtf8;
  encoding_ = kUtf8;
  text.begin = text.end = mark.length;
  TakeUtf8(text, valid, cut_off);
  return bad_bytes_.empty() || undecodable_ == UndecodableBytes::kFail || DecodeRestAsUtf8(text, error);
}

const CodePage& TextSource::ChooseCodePage(std::string_view first) {
  CodePageDetector detector(fallback_.name);
  detector.Feed(first);
  auto_guess_ = detector.Guess();
  // A guess of the fallback's own script is no news: the detector often
  // names a sibling (ISO-8859-2 for Spanish text), and the fallback is the
  // user's word for which of them is in use.
  const Script script = ScriptOfCodePage(auto_guess_);
  if (script == Script::kNone || script == ScriptOfCodePage(fallback_.name)) return fallback_;
  std::string ignored;
  if (!ParseCodePage(WindowsCodePageFor(auto_guess_), guessed_, ignored, "", false)) return fallback_;
  if (guessed_.kind != CodePageKind::kDecoder) return guessed_;
  // Sure is not enough: the file must also decode in it without a bad byte.
  TextDecoder trial;
  if (!trial.Open(guessed_.decoder, ignored)) return fallback_;
  std::string out(kBlockBytes, '\0');
  for (std::string_view rest = first; !rest.empty();) {
    const DecodeStep step = trial.Decode(rest, out.data(), out.size());
    if (step.stop == DecodeStop::kInvalid) return fallback_;
    // A character cut off by the block's end, or by the file's.
    if (step.consumed == 0) return eof_ && raw_end_ == first.size() ? fallback_ : guessed_;
    rest.remove_prefix(step.consumed);
  }
  return guessed_;
}

bool TextSource::DecodeRestAsUtf8(TextBuffer& text, std::string& error) {
  bad_bytes_.clear();
  std::string cause;
  if (!decoder_.Open(kUtf8, cause)) {
    error = "cannot read source file " + Quoted(path_) + ": " + cause;
    return false;
  }
  // The bytes not yet text become the decoder's input; the text buffer
  // keeps what was checked already.
  const std::size_t rest = raw_end_ - text.end;
  input_capacity_ = std::max(kBlockBytes, rest);
  input_ = std::make_unique_for_overwrite<char[]>(input_capacity_);
  std::memcpy(input_.get(), text.data.get() + text.end, rest);
  input_begin_ = 0;
  input_end_ = rest;
  input_used_ = false;
  raw_end_ = text.end;
  mode_ = Mode::kDecode;
  return true;
}

void TextSource::Replace(TextBuffer& text, uint64_t offset) {
  if (replaced_++ == 0) {
    first_replaced_offset_ = offset;
    first_replaced_position_ = TextPosition(text.end);
  }
  std::memcpy(text.data.get() + text.end, kReplacementCharacter.data(), kReplacementCharacter.size());
  text.end += kReplacementCharacter.size();
}

bool TextSource::ReadRest(TextBuffer& text, std::string& error) {
  const auto size = static_cast<std::size_t>(expected_bytes_);
  auto whole = std::make_unique_for_overwrite<char[]>(size);
  std::memcpy(whole.get(), text.data.get(), raw_end_);
  text.data = std::move(whole);
  text.capacity = size;
  std::size_t got = 0;
  std::string cause;
  if (!Read(text.data.get() + raw_end_, size - raw_end_, bytes_read_, got, eof_, cause)) {
    error = "cannot read source file " + Quoted(path_) + ": " + cause;
    return false;
  }
  raw_end_ += got;
  return true;
}

bool TextSource::RestIsUtf8(std::size_t carried, const TextBuffer& text, bool& valid, std::string& error) {
  // The first block stays where it is for the splitter; the rest passes
  // through a scratch block, a character cut by a block's end carried over.
  auto scratch = std::make_unique_for_overwrite<char[]>(kBlockBytes);
  std::memcpy(scratch.get(), text.data.get() + raw_end_ - carried, carried);
  uint64_t position = bytes_read_;
  bool at_end = false;
  valid = true;
  while (valid && !at_end) {
    std::size_t got = 0;
    std::string cause;
    if (!Read(scratch.get() + carried, kBlockBytes - carried, position, got, at_end, cause)) {
      error = "cannot read source file " + Quoted(path_) + ": " + cause;
      return false;
    }
    const std::string_view block(scratch.get(), carried + got);
    bool cut_off = false;
    const std::size_t checked = ValidUtf8Prefix(block, cut_off);
    valid = checked == block.size() || (cut_off && !at_end);
    carried = block.size() - checked;
    std::memmove(scratch.get(), scratch.get() + checked, carried);
  }
  if (!SeekTo(file_, bytes_read_)) {
    error = "cannot read source file " + Quoted(path_) + ": " + CauseText(errno);
    return false;
  }
  return true;
}

bool TextSource::StartDecoding(TextBuffer& text, const std::string& decoder, const std::string& shown,
                               std::size_t skip, bool in_code_page, std::string& error) {
  std::string cause;
  if (!decoder_.Open(decoder, cause)) {
    error = "cannot read source file " + Quoted(path_) + ": " + cause;
    return false;
  }
  mode_ = Mode::kDecode;
  encoding_ = shown;
  // The bytes read so far become the input; the text gets a buffer of its own.
  input_ = std::move(text.data);
  input_capacity_ = text.capacity;
  input_begin_ = skip;
  input_end_ = raw_end_;
  // Room for all of a small file's text (three bytes per byte at most), a block for a big one.
  text.capacity = std::min(kBlockBytes, (input_end_ - skip) * 3 + kDecodeSpace);
  text.data = std::make_unique_for_overwrite<char[]>(text.capacity);
  text.begin = text.end = 0;
  if (in_code_page) {
    detector_.emplace(shown);
    // A block at a time, as the file would have been read: the detector
    // judges the first bytes it is given.
    for (std::size_t at = 0; at < input_end_; at += kBlockBytes) {
      detector_->Feed(std::string_view(input_.get() + at, std::min(kBlockBytes, input_end_ - at)));
    }
  }
  return FillDecoded(text, 0, error);
}

void TextSource::Extend(TextBuffer& text, std::size_t end) {
  // Once per block, not per row: a NUL is rare, rows are many.
  if (first_nul_position_ == kNoPosition) {
    const void* nul = std::memchr(text.data.get() + text.end, '\0', end - text.end);
    if (nul != nullptr) first_nul_position_ = TextPosition(static_cast<std::size_t>(static_cast<const char*>(nul) - text.data.get()));
  }
  text.end = end;
}

void TextSource::TakeUtf8(TextBuffer& text, std::size_t valid, bool cut_off) {
  Extend(text, text.end + valid);
  // All checked, or a character waits for the rest of it in the next read.
  if (text.end == raw_end_ || (cut_off && !eof_)) return;
  const std::string_view bad(text.data.get() + text.end, raw_end_ - text.end);
  bad_bytes_ = BadBytesText(kUtf8, OffsetBefore(bad.size()), bad, cut_off);
}

void TextSource::MakeRoom(TextBuffer& text, std::size_t wanted_space) {
  std::size_t& used = mode_ == Mode::kDecode ? text.end : raw_end_;
  if (text.begin > 0) {
    text_shifted_ += text.begin;
    std::memmove(text.data.get(), text.data.get() + text.begin, used - text.begin);
    if (mode_ != Mode::kDecode) text.end -= text.begin;
    used -= text.begin;
    text.begin = 0;
  }
  if (text.capacity - used >= wanted_space) return;
  // Only a row longer than a block gets here, and rows are limited.
  auto bigger = std::make_unique_for_overwrite<char[]>(text.capacity * 2);
  std::memcpy(bigger.get(), text.data.get(), used);
  text.data = std::move(bigger);
  text.capacity *= 2;
}

bool TextSource::Fill(TextBuffer& text, int64_t next_line, std::string& error) {
  if (!bad_bytes_.empty()) {
    error = Quoted(path_) + " line " + std::to_string(next_line) + ": " + bad_bytes_;
    return false;
  }
  MakeRoom(text, mode_ == Mode::kDecode ? kDecodeSpace : 1);
  if (mode_ == Mode::kDecode) return FillDecoded(text, next_line, error);
  if (eof_) return true;
  std::size_t got = 0;
  std::string cause;
  if (!Read(text.data.get() + raw_end_, text.capacity - raw_end_, bytes_read_, got, eof_, cause)) {
    error = ReadFailure(next_line, cause);
    return false;
  }
  raw_end_ += got;
  if (mode_ == Mode::kBytes) {
    Extend(text, raw_end_);
    return true;
  }
  bool cut_off = false;
  const std::size_t valid = ValidUtf8Prefix(std::string_view(text.data.get() + text.end, raw_end_ - text.end), cut_off);
  TakeUtf8(text, valid, cut_off);
  return bad_bytes_.empty() || undecodable_ == UndecodableBytes::kFail || DecodeRestAsUtf8(text, error);
}

bool TextSource::FillDecoded(TextBuffer& text, int64_t next_line, std::string& error) {
  const std::size_t before = text.end;
  while (text.end == before && bad_bytes_.empty()) {
    if (input_used_) {
      const std::size_t left = input_end_ - input_begin_;
      if (eof_) {
        if (left > 0 && undecodable_ == UndecodableBytes::kReplace) {
          Replace(text, OffsetBefore(left));
          input_begin_ = input_end_;
        } else if (left > 0) {
          bad_bytes_ = BadBytesText(encoding_, OffsetBefore(left), {input_.get() + input_begin_, left}, true);
        }
        return true;
      }
      // A character cut by the end of the input goes to the front, more behind it.
      std::memmove(input_.get(), input_.get() + input_begin_, left);
      input_begin_ = 0;
      input_end_ = left;
      std::size_t got = 0;
      std::string cause;
      if (!Read(input_.get() + input_end_, input_capacity_ - input_end_, bytes_read_, got, eof_, cause)) {
        error = ReadFailure(next_line, cause);
        return false;
      }
      if (detector_) detector_->Feed(std::string_view(input_.get() + input_end_, got));
      input_end_ += got;
      input_used_ = false;
    }
    const std::string_view input(input_.get() + input_begin_, input_end_ - input_begin_);
    const DecodeStep step = decoder_.Decode(input, text.data.get() + text.end, text.capacity - text.end);
    input_begin_ += step.consumed;
    Extend(text, text.end + step.produced);
    if (step.stop == DecodeStop::kInvalid && undecodable_ == UndecodableBytes::kReplace) {
      // The step left room: it took at most a third of the space, less two.
      Replace(text, OffsetBefore(input_end_ - input_begin_));
      input_begin_ += step.invalid_length;
      continue;
    }
    if (step.stop == DecodeStop::kInvalid) {
      bad_bytes_ = BadBytesText(encoding_, OffsetBefore(input_end_ - input_begin_), input.substr(step.consumed), false);
    }
    if (step.stop == DecodeStop::kOutputFull) return true;
    input_used_ = step.stop == DecodeStop::kInputUsed;
  }
  return true;
}

std::string TextSource::ReadFailure(int64_t next_line, const std::string& cause) const {
  return "cannot read source file " + Quoted(path_) + " after line " + std::to_string(next_line - 1) + ": " + cause;
}

bool TextSource::AtEnd() const {
  if (!eof_ || !bad_bytes_.empty()) return false;
  return mode_ != Mode::kDecode || (input_used_ && input_begin_ == input_end_);
}

std::string TextSource::DetectedCodePage() {
  if (code_page_.kind == CodePageKind::kAuto) return auto_guess_;
  return detector_ ? detector_->Guess() : std::string();
}

}  // namespace corvanne
