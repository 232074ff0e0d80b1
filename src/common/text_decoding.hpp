// Turning the bytes of a file into UTF-8 text: the byte-order mark, the
// decoder of a code page (one interface; Windows' own tables behind it, by
// ICU on Linux), and the rule for a whole text and for a file name. The
// streaming of files is source/'s.
#pragma once

#include <array>
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

// kUtf16Le or kUtf16Be when `bytes` (a file's start, without a mark) look
// like UTF-16 text of mostly ASCII: of the first 4 KiB, at least 3 in 4
// odd (LE) or even (BE) bytes are NUL, and at most 1 in 8 of the others.
// nullptr otherwise, and for fewer than 4 bytes.
const char* SniffUtf16Pattern(std::string_view bytes);

// Why a decoding step stopped.
enum class DecodeStop {
  kInputUsed,   // all input decoded, except perhaps a character cut off by its end
  kOutputFull,  // the output space is used up; call again with more
  kInvalid,     // input[consumed] starts `invalid_length` bytes that are no character of the encoding
};

// What one decoding step did.
struct DecodeStep {
  std::size_t consumed = 0;  // input bytes decoded
  std::size_t produced = 0;  // UTF-8 bytes written
  DecodeStop stop = DecodeStop::kInputUsed;
  std::size_t invalid_length = 0;  // kInvalid: bytes of the bad sequence, at least 1; decoding goes on after them
};

// The platform decoder's name for a code page, by Windows' own table where
// Windows has one: `name` as the user wrote it, upper-case ("BIG5",
// "CP950", "KOI8-R"), `windows_number` its Windows number when it names one
// ("950"), else "". "" when the platform has no such decoder. Implemented
// once per platform (text_decoding_icu.cpp on Linux, text_decoding_windows.cpp
// on Windows).
std::string PlatformDecoderName(std::string_view name, std::string_view windows_number);

// The UTF-8 of each byte of a single-byte code page, as the platform's
// decoder gives it: a look-up per byte, and ASCII runs copied whole.
struct SingleByteTable {
  struct Entry {
    std::array<char, 4> bytes{};  // the character's UTF-8, padded
    uint8_t length = 0;           // 1 to 4; 0: the byte is no character of the code page
  };
  std::array<Entry, 128> high;  // bytes 0x80 to 0xFF; bytes below are ASCII
  std::size_t longest = 1;      // the longest entry's length
};

// Decodes one encoding to UTF-8, block by block: a character cut by the end
// of a block is left unconsumed for the next. Move-only; owns the
// platform's decoder state (its Engine is defined once per platform). A
// single-byte code page goes by a SingleByteTable made once per process
// from the platform's decoder.
class TextDecoder {
 public:
  TextDecoder();
  ~TextDecoder();
  TextDecoder(TextDecoder&&) noexcept;
  TextDecoder& operator=(TextDecoder&&) noexcept;

  // Prepares to decode `encoding` (WINDOWS-1252, a PlatformDecoderName,
  // "UTF-8", "UTF-16LE", "UTF-16BE") through the platform's decoder, or its
  // table. False, with `error` naming it, when there is no such decoder.
  bool Open(const std::string& encoding, std::string& error);
  // Decodes from the start of `input` into `out` (`space` bytes), as much as
  // fits. Never replaces or drops a byte itself: invalid input stops the
  // step, and the caller decides what becomes of it.
  DecodeStep Decode(std::string_view input, char* out, std::size_t space);
  // The encoding given to Open.
  const std::string& Encoding() const { return encoding_; }

 private:
  struct Engine;
  struct EngineDeleter {  // defined with Engine, so that this file needs not know it
    void operator()(Engine* engine) const;
  };
  using EnginePointer = std::unique_ptr<Engine, EngineDeleter>;
  // The platform's part (text_decoding_icu.cpp, _windows.cpp): its decoder for `encoding`,
  // or null with `error` set; whether it reads one byte as one character
  // whatever came before; one decoding step through it.
  static EnginePointer OpenEngine(const std::string& encoding, std::string& error);
  static bool IsSingleByte(const Engine& engine);
  DecodeStep DecodeEngine(std::string_view input, char* out, std::size_t space);
  DecodeStep DecodeTable(std::string_view input, char* out, std::size_t space) const;

  std::string encoding_;
  std::shared_ptr<const SingleByteTable> table_;  // single-byte code pages; shared by every decoder of it
  EnginePointer engine_;                          // the platform's decoder, for the others
};

// U+FFFD, which stands for each undecodable byte sequence under REPLACE.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// A whole text decoded by the rule of files: a byte-order mark decides
// (UTF-8, UTF-16 LE/BE); else valid UTF-8 is UTF-8; else `code_page` (AUTO
// reads as WINDOWS-1252 here: a short text gives the detector nothing).
// BYTES leaves the bytes as they are. Under kFail bad bytes fail the text;
// under kReplace each bad sequence becomes U+FFFD and is counted.
struct DecodedText {
  bool ok = false;
  std::string text;      // UTF-8, the mark left out
  std::string encoding;  // what it was read as: "UTF-8", "UTF-16LE", "UTF-16BE", the code page's name, "BYTES"
  std::string error;     // failed: what was wrong and the byte offset, e.g. "not valid BIG5 at byte offset 7 (bytes FF)"
  int64_t replaced = 0;  // kReplace: bad sequences that became U+FFFD
  uint64_t first_replaced_offset = 0;  // kReplace: byte offset of the first of them
};
DecodedText DecodeText(std::string_view bytes, const CodePage& code_page,
                       UndecodableBytes undecodable = UndecodableBytes::kFail);

// A file name (or path) as the bytes the file system gave, as text for a
// row: as it is when it is valid UTF-8 or `code_page` is BYTES; else decoded
// with `code_page` (the folder's, else the run's; AUTO: pass its fallback),
// bad bytes as U+FFFD, so that a stored name is always valid UTF-8.
std::string FileNameAsText(const std::string& bytes, const CodePage& code_page);

// The description of bad input at `offset` of a file: `bytes` are the bytes
// from there (the first four are shown); `cut_off` when the input ends inside
// the character. E.g. "not valid BIG5 at byte offset 57 (bytes FF 7C)".
std::string BadBytesText(const std::string& encoding, uint64_t offset, std::string_view bytes, bool cut_off);

}  // namespace corvanne
