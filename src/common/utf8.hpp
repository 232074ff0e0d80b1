// UTF-8 in one place: reading one sequence, writing one code point, checking
// a block as it streams in, counting characters, and UTF-16 for the drivers.
// Knows nothing of files or code pages (see text_decoding.hpp for those).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvanne {

// What ScanUtf8Sequence found at a position.
enum class Utf8Sequence {
  kValid,    // a whole, well-formed sequence
  kInvalid,  // bytes that no UTF-8 text holds there (overlong, surrogate, stray, past U+10FFFF)
  kCutOff,   // the start of a well-formed sequence whose rest lies past the end of the bytes
};

// Reads the sequence that starts at `text[at]` (at < text.size()). kValid sets
// `length` (1 to 4) and `code_point`. kInvalid sets `length` to the bytes
// that began a sequence before it went wrong (at least 1: the bad sequence
// as one, as ICU's decoder counts it) and leaves `code_point` unset; kCutOff
// leaves both unset.
Utf8Sequence ScanUtf8Sequence(std::string_view text, std::size_t at, std::size_t& length, char32_t& code_point);

// Bytes of the character at `text[at]` (at < text.size()): its sequence's
// length when that is valid UTF-8, else 1, so that a stray byte counts as one.
std::size_t CharacterLength(std::string_view text, std::size_t at);

// Appends `code_point` (at most U+10FFFF, not a surrogate) to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t code_point);

// Writes `code_point` (at most U+10FFFF, not a surrogate) as UTF-8 to `out`,
// which has room for four bytes; returns the bytes written.
std::size_t WriteUtf8(char32_t code_point, char* out);

// Writes `count` UTF-16 units as UTF-8 to `out` (room for 3 bytes a unit);
// returns the bytes written. A surrogate without its other half, which a
// code page table may give but UTF-8 cannot hold, is written as U+FFFD.
// `units` must come whole from their source: a pair split between two calls
// would become two U+FFFD.
std::size_t WriteUtf16AsUtf8(const char16_t* units, std::size_t count, char* out);

// Length of the longest prefix of `bytes` that is ASCII (bytes below 0x80),
// found a word at a time.
std::size_t AsciiPrefix(std::string_view bytes);

// Length of the longest prefix of `bytes` made of whole valid sequences.
// When it is shorter than `bytes`, `cut_off` says whether what follows is
// only the start of a sequence cut off by the end of `bytes` (true) or
// invalid (false). Runs of ASCII go by AsciiPrefix.
std::size_t ValidUtf8Prefix(std::string_view bytes, bool& cut_off);

// True when all of `bytes` is valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Number of code points in `utf8`, which must be valid UTF-8: every byte
// that does not continue a sequence starts one.
std::size_t CountCodePoints(std::string_view utf8);

// Appends `utf8` to `out` as UTF-16 (surrogate pairs above U+FFFF), for
// drivers that take wide characters. False, with `out` unchanged, when
// `utf8` is not valid UTF-8: nothing is ever replaced.
bool AppendUtf16(std::string_view utf8, std::u16string& out);

}  // namespace corvanne
