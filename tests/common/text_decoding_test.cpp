// Code page values, the whole-text rule, decoding in pieces, and the UTF-8
// checks and conversions beneath them. Samples are written by glibc's iconv,
// a codec other than the one under test.
#include "common/text_decoding.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/utf8.hpp"
#include "testing/code_page_samples.hpp"
#include "testing/encode.hpp"

namespace corvanne {
namespace {

using namespace std::string_literals;

// Wine lacks GB18030 (54936), which Windows itself has. Where the platform
// has no decoder for it, its rows are not run, and the run says so.
bool PlatformLacksGb18030(std::string_view code_page) {
  const bool asked = code_page == "GB18030" || code_page == "54936";
  if (asked && PlatformDecoderName("GB18030", "54936").empty()) {
    std::cout << "[   NOTE   ] no GB18030 decoder on this system: its row is not run\n";
    return true;
  }
  return false;
}
using testing::Encode;

class TextDecodingTest : public ::testing::Test {};

// The platform decoder's name for Windows code page `number`.
std::string Decoder(const std::string& number) {
#ifdef _WIN32
  return "CP" + number;
#else
  return "windows-" + number;
#endif
}

TEST_F(TextDecodingTest, CodePageValues) {
  struct Case {
    std::string value;
    CodePage expected;
  };
  const std::vector<Case> cases = {
      {"", {CodePageKind::kWindows1252, "WINDOWS-1252", ""}},
      {" use_default ", {CodePageKind::kWindows1252, "WINDOWS-1252", ""}},
      {"cp1252", {CodePageKind::kWindows1252, "WINDOWS-1252", ""}},
      {"950", {CodePageKind::kDecoder, "CP950", Decoder("950")}},
      {"cp950", {CodePageKind::kDecoder, "CP950", Decoder("950")}},
      {" big5 ", {CodePageKind::kDecoder, "BIG5", Decoder("950")}},
      {"874", {CodePageKind::kDecoder, "WINDOWS-874", Decoder("874")}},
      {"TIS-620", {CodePageKind::kDecoder, "TIS-620", Decoder("874")}},
      {"1251", {CodePageKind::kDecoder, "WINDOWS-1251", Decoder("1251")}},
      {"54936", {CodePageKind::kDecoder, "GB18030", Decoder("54936")}},
      {"Shift_JIS", {CodePageKind::kDecoder, "SHIFT_JIS", Decoder("932")}},
      {"KOI8-R", {CodePageKind::kDecoder, "KOI8-R", Decoder("20866")}},
      {"ISO-8859-2", {CodePageKind::kDecoder, "ISO-8859-2", Decoder("28592")}},
      {"65001", {CodePageKind::kUtf8, "UTF-8", ""}},
      {"utf8", {CodePageKind::kUtf8, "UTF-8", ""}},
      {"Bytes", {CodePageKind::kBytes, "BYTES", ""}},
      {"auto", {CodePageKind::kAuto, "AUTO", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    if (PlatformLacksGb18030(c.value)) continue;
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(c.value, code_page, error)) << error;
    EXPECT_EQ(code_page, c.expected);
  }
  const std::string unknown = "\" is not a code page this system knows (a name such as WINDOWS-1252, BIG5 or CP932, "
                              "a Windows code page number, UTF-8, AUTO or BYTES)";
  const std::string not_ascii =
      "\" is not a code page whose text keeps ASCII as it is (such as UTF-16, UTF-32, UTF-7 or EBCDIC): lines cannot "
      "be cut in it. A UTF-16 file is read by its byte-order mark, or by AUTO; use a code page such as WINDOWS-1252 "
      "or UTF-8";
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"KLINGON", unknown},      {"BIG5//TRANSLIT", unknown}, {"99999", unknown},   {"UTF-16LE", not_ascii},
      {"UTF-16", not_ascii},     {"UTF-32BE", not_ascii},     {"UCS-2", not_ascii}, {"UTF-7", not_ascii},
      {"1200", not_ascii},       {"CP037", not_ascii},
  };
  for (const auto& [value, why] : refused) {
    SCOPED_TRACE(value);
    CodePage code_page;
    std::string error;
    EXPECT_FALSE(ParseCodePage(value, code_page, error));
    EXPECT_EQ(error, "SOURCE_FILE_CODE_PAGE \"" + value + why);
  }
  CodePage code_page;
  std::string error;
  EXPECT_FALSE(ParseCodePage("AUTO", code_page, error, "SOURCE_FILE_CODE_PAGE_FALLBACK", false));
  EXPECT_EQ(error, "SOURCE_FILE_CODE_PAGE_FALLBACK \"AUTO" + unknown);
}

// Windows' own tables: bytes that stricter tables refuse decode as Windows
// decodes them (values as Microsoft's code page tables give them, checked
// against Python's codecs where those have the byte).
TEST_F(TextDecodingTest, WindowsTables) {
  struct Case {
    const char* name;
    std::string code_page;
    std::string bytes;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"950: Eten additions F9D6 to F9FE", "950", "\xF9\xD6\xF9\xD7\xF9\xF9\xF9\xFE", "碁銹═▓"},
      {"950: user-defined area", "950", "\xFA\x40\xFE\xFE", "\uE000\uE310"},
      {"BIG5 is read as 950", "BIG5", "\xF9\xD6\xA4\xA4", "碁中"},
      {"1252: the five unassigned bytes", "", "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
      {"874: Thai and the unassigned DB", "874", "\xA1\xDB", "ก\uF8C1"},
      {"936", "936", "\xD6\xD0\x80", "中€"},
      {"932", "932", "\x93\xFA\x96\x7B\x87\x40", "日本①"},
      {"949", "949", "\xC7\xD1\x81\x41", "한갂"},
      {"1250", "1250", "\x8A\xB9", "Šą"},
      {"1251", "1251", "\xC0\x88", "А€"},
      {"1253", "1253", "\xC1\xE1", "Αα"},
      {"1254", "1254", "\xD0\xFD", "Ğı"},
      {"1255", "1255", "\xF9", "ש"},
      {"1256", "1256", "\xC7\x81\xE9", "اپé"},
      {"1257", "1257", "\xC0\xE0", "Ąą"},
      {"1258", "1258", "\xD2\xDE", "\u0309\u0303"},
      {"KOI8-R", "KOI8-R", "\xF0\xD2", "Пр"},
      {"ISO-8859-5", "ISO-8859-5", "\xBF", "П"},
      {"EUC-KR", "EUC-KR", "\xC7\xD1", "한"},
      {"GB18030, four bytes", "GB18030", "\x81\x30\x81\x30", "\u0080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (PlatformLacksGb18030(c.code_page)) continue;
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(c.code_page, code_page, error)) << error;
    const DecodedText decoded = DecodeText(c.bytes, code_page);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.text, c.text);
  }
}

// The files every destination loads decode, whole, to the text of their rows
// on every platform (the UTF-16 one under AUTO is found by the file reader).
TEST_F(TextDecodingTest, SharedSamples) {
  for (const testing::CodePageSample& sample : testing::CodePageSamples()) {
    if (sample.code_page == "AUTO") continue;
    SCOPED_TRACE(sample.name);
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(sample.code_page, code_page, error)) << error;
    const auto undecodable = sample.undecodable == "FAIL" ? UndecodableBytes::kFail : UndecodableBytes::kReplace;
    const DecodedText decoded = DecodeText(sample.bytes, code_page, undecodable);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.text, testing::JoinRows(sample.rows, sample.delimiter));
  }
}

TEST_F(TextDecodingTest, WholeTextRule) {
  const std::string spanish = "Año “señal” — 25 €";
  const std::string chinese = "中文 弋|功";
  struct Case {
    const char* name;
    std::string bytes;
    std::string code_page;
    UndecodableBytes undecodable;
    std::string text;      // expected on success
    std::string encoding;  // expected on success
    std::string error;     // expected on failure
    int64_t replaced = 0;
  };
  const auto kFail = UndecodableBytes::kFail;
  const auto kReplace = UndecodableBytes::kReplace;
  const std::vector<Case> cases = {
      {"Windows-1252", Encode(spanish, "WINDOWS-1252"), "", kFail, spanish, "WINDOWS-1252", ""},
      {"Big5", Encode(chinese, "BIG5"), "950", kFail, chinese, "CP950", ""},
      {"AUTO reads a short text as Windows-1252", Encode(spanish, "WINDOWS-1252"), "AUTO", kFail, spanish,
       "WINDOWS-1252", ""},
      {"UTF-8 in a Big5 run", chinese, "BIG5", kFail, chinese, "UTF-8", ""},
      {"UTF-8 mark left out", "\xEF\xBB\xBF" + spanish, "BIG5", kFail, spanish, "UTF-8", ""},
      {"UTF-16 LE mark", "\xFF\xFE" + Encode(chinese, "UTF-16LE"), "", kFail, chinese, "UTF-16LE", ""},
      {"UTF-16 BE mark", "\xFE\xFF" + Encode(spanish + "😀", "UTF-16BE"), "", kFail, spanish + "😀", "UTF-16BE", ""},
      {"BYTES", "\xFF\xFE\xE9", "BYTES", kFail, "\xFF\xFE\xE9", "BYTES", ""},
      {"empty", "", "", kFail, "", "UTF-8", ""},
      {"strict UTF-8", "ab\xE9z", "UTF-8", kFail, "", "", "not valid UTF-8 at byte offset 2 (bytes E9 7A)"},
      {"UTF-8 replaced", "ab\xE9z\xC0\x80", "UTF-8", kReplace, "ab\uFFFDz\uFFFD\uFFFD", "UTF-8", "", 3},
      {"a broken sequence is one bad sequence", "a\xF0\x9F\x98z\xED\xA0\x80", "UTF-8", kReplace,
       "a\uFFFDz\uFFFD\uFFFD\uFFFD", "UTF-8", "", 4},
      {"bad bytes under a UTF-8 mark", "\xEF\xBB\xBF" "a\xC0\x80", "", kFail, "", "",
       "not valid UTF-8 at byte offset 4 (bytes C0 80)"},
      {"not Big5", "a\xA4\x7C\xA4\x20\x41", "BIG5", kFail, "", "", "not valid BIG5 at byte offset 3 (bytes A4 20 41)"},
      {"a stray byte in Big5, replaced", "\xA4\xA4\xA4\x20\x41\xA4", "BIG5", kReplace, "中\uFFFD A\uFFFD", "BIG5",
       "", 2},
      {"a bad pair deep in a long Big5 text", Encode(testing::Repeat(chinese, 300), "BIG5") + "\xA4 a", "BIG5",
       kReplace, testing::Repeat(chinese, 300) + "\uFFFD a", "BIG5", "", 1},
      {"odd UTF-16", "\xFF\xFE" "a\0b"s, "", kFail, "", "",
       "incomplete UTF-16LE character at byte offset 4, where the file ends (bytes 62)"},
      {"lone surrogate", "\xFF\xFE" "\x00\xD8" "a\0"s, "", kFail, "", "",
       "not valid UTF-16LE at byte offset 2 (bytes 00 D8 61 00)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(c.code_page, code_page, error));
    const DecodedText decoded = DecodeText(c.bytes, code_page, c.undecodable);
    EXPECT_EQ(decoded.ok, c.error.empty());
    EXPECT_EQ(decoded.error, c.error);
    if (!c.error.empty()) continue;
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding);
    EXPECT_EQ(decoded.replaced, c.replaced);
  }
}

// File names: UTF-8 stays, other bytes are read in the code page given, and
// a stored name is always valid UTF-8.
TEST_F(TextDecodingTest, FileNames) {
  CodePage big5;
  CodePage bytes;
  std::string error;
  ASSERT_TRUE(ParseCodePage("950", big5, error));
  ASSERT_TRUE(ParseCodePage("BYTES", bytes, error));
  EXPECT_EQ(FileNameAsText("/src/中/a.bas", big5), "/src/中/a.bas");
  EXPECT_EQ(FileNameAsText("/src/\xA4\xA4/a.bas", big5), "/src/中/a.bas");
  EXPECT_EQ(FileNameAsText("/src/\xA4\x20.bas", big5), "/src/\uFFFD .bas");
  EXPECT_EQ(FileNameAsText("/src/\xE9.bas", CodePage{}), "/src/é.bas");
  EXPECT_EQ(FileNameAsText("/src/\xE9.bas", bytes), "/src/\xE9.bas");
}

TEST_F(TextDecodingTest, Utf16Pattern) {
  // Compared as text: one literal may have two addresses in two units.
  const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
      {"LE", Encode("Sub Main()\r\n  x = 1\r\n", "UTF-16LE"), "UTF-16LE"},
      {"BE", Encode("Sub Main()\r\n", "UTF-16BE"), "UTF-16BE"},
      {"LE, some Chinese", Encode("' 中文 Sub Main()\r\n", "UTF-16LE"), "UTF-16LE"},
      {"ASCII", "Sub Main()\r\n", ""},
      {"binary with a few NULs", "ab\0\0cdefgh\0ijkl"s, ""},
      {"too short", "a\0"s, ""},
  };
  for (const auto& [name, bytes, expected] : cases) {
    SCOPED_TRACE(name);
    const char* found = SniffUtf16Pattern(bytes);
    EXPECT_EQ(std::string(found != nullptr ? found : ""), expected);
  }
}

// Blocks end anywhere, inside characters too: fed in pieces of every size
// from 1 to 7 bytes, a decoder gives the same text as the codec.
TEST_F(TextDecodingTest, DecodingInPieces) {
  const std::vector<std::pair<const char*, std::string>> samples = {
      {"BIG5", "' 檢查 弋|功 x\r\n"},
      {"UTF-16BE", "' ตรวจ é 😀 中\r\n"},
      {"GB18030", "' 检查 ตรวจ é 😀\r\n"},
      {"WINDOWS-1252", "Año “x” — €\r\n"},
  };
  for (const auto& [encoding, sample] : samples) {
    if (PlatformLacksGb18030(encoding)) continue;
    const std::string bytes = Encode(sample, encoding);
    for (std::size_t piece = 1; piece <= 7; ++piece) {
      SCOPED_TRACE(std::string(encoding) + ", pieces of " + std::to_string(piece));
      TextDecoder decoder;
      std::string error;
      ASSERT_TRUE(decoder.Open(encoding, error)) << error;
      std::string decoded;
      std::string pending;
      char out[64];
      for (std::size_t at = 0; at < bytes.size(); at += piece) {
        pending += bytes.substr(at, piece);
        const DecodeStep step = decoder.Decode(pending, out, sizeof out);
        ASSERT_EQ(step.stop, DecodeStop::kInputUsed);
        decoded.append(out, step.produced);
        pending.erase(0, step.consumed);
      }
      EXPECT_EQ(pending, "");
      EXPECT_EQ(decoded, sample);
    }
  }
}

TEST_F(TextDecodingTest, Utf8Checks) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t valid;
    bool cut_off;
  };
  const std::string ascii(40, 'a');
  const std::vector<Case> cases = {
      {"ASCII", ascii, 40, false},
      {"two to four bytes", "é中😀", 9, false},
      {"bad byte after an ASCII block", ascii + "\xFF", 40, false},
      {"bad byte in the first word of a block", "abc\xFF" + ascii, 3, false},
      {"bad byte in the second word of a block", std::string(11, 'a') + "\xFF" + ascii, 11, false},
      {"stray continuation", "a\x80", 1, false},
      {"overlong slash", "\xC0\xAF", 0, false},
      {"overlong three bytes", "\xE0\x80\xAF", 0, false},
      {"surrogate", "\xED\xA0\x80", 0, false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 0, false},
      {"cut off at the end", ascii + "\xF0\x9F\x98", 40, true},
      {"cut, then not continued", "\xE4\xB8" "a", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool cut_off = !c.cut_off;
    EXPECT_EQ(ValidUtf8Prefix(c.bytes, cut_off), c.valid);
    if (c.valid < c.bytes.size()) {
      EXPECT_EQ(cut_off, c.cut_off);
    }
  }
  // A bad byte is found wherever it stands in the steps of the ASCII scan.
  for (std::size_t at = 0; at < 80; ++at) {
    std::string bytes(80, 'a');
    bytes[at] = '\xFF';
    bool cut_off = true;
    EXPECT_EQ(ValidUtf8Prefix(bytes, cut_off), at);
    EXPECT_FALSE(cut_off);
  }
  EXPECT_EQ(CountCodePoints("aé中😀"), 4u);
  std::u16string wide = u"x";
  EXPECT_TRUE(AppendUtf16("é中😀", wide));
  EXPECT_EQ(wide, u"xé中😀");
  EXPECT_FALSE(AppendUtf16("ok\xFF", wide));
  EXPECT_EQ(wide, u"xé中😀");
}

}  // namespace
}  // namespace corvanne
