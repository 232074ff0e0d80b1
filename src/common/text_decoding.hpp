// Turning the bytes of a file into UTF-8 text: the byte-order mark, the
// decoder of a code page (a table for Windows-1252, iconv for the rest), and
// the rule for a whole text. The streaming of files is the loader's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/code_page.hpp"

namespace corvanne {

inline constexpr const char* kUtf16Le = "UTF-16LE";
inline constexpr const char* kUtf16Be = "UTF-16BE";

// The byte-order mark a text starts with.
struct ByteOrderMark {
  const char* encoding = nullptr;  // kUtf8, kUtf16Le or kUtf16Be; nullptr when there is none
  std::size_t length = 0;          // bytes of the mark (3 or 2), not part of the text
};

// The mark at the start of `bytes` (EF BB BF, FF FE or FE FF).
ByteOrderMark SniffByteOrderMark(std::string_view bytes);

// Why a decoding step stopped.
enum class DecodeStop {
  kInputUsed,   // all input decoded, except perhaps a character cut off by its end
  kOutputFull,  // the output space is used up; call again with more
  kInvalid,     // input[consumed] starts bytes that are no character of the encoding
};

// What one decoding step did.
struct DecodeStep {
  std::size_t consumed = 0;  // input bytes decoded
  std::size_t produced = 0;  // UTF-8 bytes written
  DecodeStop stop = DecodeStop::kInputUsed;
};

// Decodes one encoding to UTF-8, block by block: a character cut by the end
// of a block is left unconsumed for the next. Move-only; owns its iconv state.
class TextDecoder {
 public:
  TextDecoder();
  ~TextDecoder();
  TextDecoder(TextDecoder&&) noexcept;
  TextDecoder& operator=(TextDecoder&&) noexcept;

  // Prepares to decode `encoding`: WINDOWS-1252 by the table, any other
  // name through iconv. False, with `error` naming it, when iconv has no
  // such encoding.
  bool Open(const std::string& encoding, std::string& error);
  // Decodes from the start of `input` into `out` (`space` bytes), as much as
  // fits. Never replaces or drops a byte: invalid input stops the step.
  DecodeStep Decode(std::string_view input, char* out, std::size_t space);
  // The encoding given to Open.
  const std::string& Encoding() const { return encoding_; }

 private:
  DecodeStep DecodeWindows1252(std::string_view input, char* out, std::size_t space) const;

  std::string encoding_;
  struct Iconv;
  std::unique_ptr<Iconv> iconv_;  // empty for the table
};

// A whole text decoded by the rule of files: a byte-order mark decides
// (UTF-8, UTF-16 LE/BE); else valid UTF-8 is UTF-8; else `code_page`. BYTES
// leaves the bytes as they are.
struct DecodedText {
  bool ok = false;
  std::string text;      // UTF-8, the mark left out
  std::string encoding;  // what it was read as: "UTF-8", "UTF-16LE", "UTF-16BE", the code page's name, "BYTES"
  std::string error;     // failed: what was wrong and the byte offset, e.g. "not valid BIG5 at byte offset 7 (bytes FF)"
};
DecodedText DecodeText(std::string_view bytes, const CodePage& code_page);

// The description of bad input at `offset` of a file: `bytes` are the bytes
// from there (the first four are shown); `cut_off` when the input ends inside
// the character. E.g. "not valid BIG5 at byte offset 57 (bytes FF 7C)".
std::string BadBytesText(const std::string& encoding, uint64_t offset, std::string_view bytes, bool cut_off);

}  // namespace corvanne
