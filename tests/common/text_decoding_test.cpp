// Code page values, the whole-text rule, decoding in pieces, and the UTF-8
// checks and conversions beneath them. Samples are written by iconv.
#include "common/text_decoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.hpp"
#include "testing/encode.hpp"

namespace corvanne {
namespace {

using namespace std::string_literals;
using testing::Encode;

class TextDecodingTest : public ::testing::Test {};

TEST_F(TextDecodingTest, CodePageValues) {
  struct Case {
    std::string value;
    CodePageKind kind;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"", CodePageKind::kWindows1252, "WINDOWS-1252"},      {" use_default ", CodePageKind::kWindows1252, "WINDOWS-1252"},
      {"cp1252", CodePageKind::kWindows1252, "WINDOWS-1252"}, {"1252", CodePageKind::kWindows1252, "WINDOWS-1252"},
      {"950", CodePageKind::kIconv, "CP950"},                 {" big5 ", CodePageKind::kIconv, "BIG5"},
      {"874", CodePageKind::kIconv, "WINDOWS-874"},           {"1251", CodePageKind::kIconv, "WINDOWS-1251"},
      {"54936", CodePageKind::kIconv, "GB18030"},             {"Shift_JIS", CodePageKind::kIconv, "SHIFT_JIS"},
      {"65001", CodePageKind::kUtf8, "UTF-8"},                {"utf8", CodePageKind::kUtf8, "UTF-8"},
      {"Bytes", CodePageKind::kBytes, "BYTES"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(c.value, code_page, error)) << error;
    EXPECT_EQ(code_page, (CodePage{c.kind, c.name}));
  }
  for (const std::string value : {"KLINGON", "BIG5//TRANSLIT", "BIG5//IGNORE", "99999"}) {
    SCOPED_TRACE(value);
    CodePage code_page;
    std::string error;
    EXPECT_FALSE(ParseCodePage(value, code_page, error));
    EXPECT_EQ(error, "SOURCE_FILE_CODE_PAGE \"" + value +
                         "\" is not a code page this system knows (a name such as WINDOWS-1252, BIG5 or CP932, a "
                         "Windows code page number, UTF-8 or BYTES)");
  }
}

TEST_F(TextDecodingTest, WholeTextRule) {
  const std::string spanish = "Año “señal” — 25 €";
  const std::string chinese = "中文 弋|功";
  struct Case {
    const char* name;
    std::string bytes;
    std::string code_page;
    std::string text;      // expected on success
    std::string encoding;  // expected on success
    std::string error;     // expected on failure
  };
  const std::vector<Case> cases = {
      {"Windows-1252", Encode(spanish, "WINDOWS-1252"), "", spanish, "WINDOWS-1252", ""},
      {"five unassigned bytes", "\x81\x8D\x8F\x90\x9D", "", "\u0081\u008D\u008F\u0090\u009D", "WINDOWS-1252", ""},
      {"Big5", Encode(chinese, "BIG5"), "950", chinese, "CP950", ""},
      {"UTF-8 in a Big5 run", chinese, "BIG5", chinese, "UTF-8", ""},
      {"UTF-8 mark left out", "\xEF\xBB\xBF" + spanish, "BIG5", spanish, "UTF-8", ""},
      {"UTF-16 LE mark", "\xFF\xFE" + Encode(chinese, "UTF-16LE"), "", chinese, "UTF-16LE", ""},
      {"UTF-16 BE mark", "\xFE\xFF" + Encode(spanish + "😀", "UTF-16BE"), "", spanish + "😀", "UTF-16BE", ""},
      {"BYTES", "\xFF\xFE\xE9", "BYTES", "\xFF\xFE\xE9", "BYTES", ""},
      {"empty", "", "", "", "UTF-8", ""},
      {"strict UTF-8", "ab\xE9z", "UTF-8", "", "", "not valid UTF-8 at byte offset 2 (bytes E9 7A)"},
      {"bad bytes under a UTF-8 mark", "\xEF\xBB\xBF" "a\xC0\x80", "", "", "",
       "not valid UTF-8 at byte offset 4 (bytes C0 80)"},
      {"not Big5", "a\xA4\x7C\xFF\x41", "BIG5", "", "", "not valid BIG5 at byte offset 3 (bytes FF 41)"},
      {"odd UTF-16", "\xFF\xFE" "a\0b"s, "", "", "",
       "incomplete UTF-16LE character at byte offset 4, where the file ends (bytes 62)"},
      {"lone surrogate", "\xFF\xFE" "\x00\xD8" "a\0"s, "", "", "", "not valid UTF-16LE at byte offset 2 (bytes 00 D8 61 00)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CodePage code_page;
    std::string error;
    ASSERT_TRUE(ParseCodePage(c.code_page, code_page, error));
    const DecodedText decoded = DecodeText(c.bytes, code_page);
    EXPECT_EQ(decoded.ok, c.error.empty());
    EXPECT_EQ(decoded.error, c.error);
    if (!c.error.empty()) continue;
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding);
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
  EXPECT_EQ(CountCodePoints("aé中😀"), 4u);
  std::u16string wide = u"x";
  EXPECT_TRUE(AppendUtf16("é中😀", wide));
  EXPECT_EQ(wide, u"xé中😀");
  EXPECT_FALSE(AppendUtf16("ok\xFF", wide));
  EXPECT_EQ(wide, u"xé中😀");
}

}  // namespace
}  // namespace corvanne
