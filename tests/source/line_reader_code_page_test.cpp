// Decoding before cutting: for every encoding a file can be in, the rows the
// reader gives are the text the system's codec gives (samples are written by
// iconv at test time); bad bytes fail naming line and offset; limits count
// characters; characters straddle the reader's block boundary.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "source/line_reader.hpp"
#include "testing/encode.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using namespace std::string_literals;
using testing::Encode;

constexpr std::size_t kBlock = std::size_t{256} * 1024;  // the reader's block

class LineReaderCodePageTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::vector<std::string> rows;
    std::string error;
    std::string encoding;
    int64_t replaced = 0;
    int64_t first_replaced_line = 0;
    uint64_t first_replaced_offset = 0;
  };

  Outcome Read(const std::string& bytes, const std::string& delimiter, const SourceDecoding& decoding,
               std::size_t limit = 8000) {
    LineReader reader(dir_.Write("source.txt", bytes), delimiter, limit, decoding);
    Outcome outcome;
    if (reader.Open()) {
      std::string_view line;
      while (reader.Next(line)) outcome.rows.emplace_back(line);
    }
    outcome.error = reader.Error();
    outcome.encoding = reader.Encoding();
    outcome.replaced = reader.Replaced();
    outcome.first_replaced_line = reader.FirstReplacedLine();
    outcome.first_replaced_offset = reader.FirstReplacedOffset();
    return outcome;
  }

  std::string Quoted() const { return "\"" + dir_.Path("source.txt") + "\""; }

  static std::string Join(const std::vector<std::string>& rows, const std::string& delimiter) {
    std::string text;
    for (const std::string& row : rows) text += row + delimiter;
    return text;
  }

  testing::TempDir dir_;
};

TEST_F(LineReaderCodePageTest, RowsAreTheCodecsText) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;  // the text, UTF-8
    const char* written_in;         // how the sample file is written
    std::string mark;               // bytes before it
    std::string delimiter;
    std::string code_page;
    std::string encoding;           // what the reader says it read
  };
  const std::vector<Case> cases = {
      {"Windows-1252 by default", {"' Año fiscal: señal de “cambio” — 25 €", "MsgBox \"Atención\""}, "WINDOWS-1252",
       "", "\r\n", "", "WINDOWS-1252"},
      {"Big5 with | as a trail byte and as the delimiter", {"' 弋", "功能", "x = 1"}, "BIG5", "", "|", "BIG5", "BIG5"},
      {"Windows-874 Thai", {"' ตรวจสอบข้อมูลลูกค้า", "MsgBox \"บันทึก\""}, "WINDOWS-874", "", "\r\n", "874",
       "WINDOWS-874"},
      {"UTF-16 LE with its mark and CR LF", {"Sub Main()", "  x = \"日本 😀\"", "End Sub"}, "UTF-16LE", "\xFF\xFE",
       "\r\n", "", "UTF-16LE"},
      {"UTF-16 BE with its mark and CR LF", {"Sub Main()", "  x = \"Ωμέγα\"", ""}, "UTF-16BE", "\xFE\xFF", "\r\n",
       "BIG5", "UTF-16BE"},
      {"UTF-8 with its mark", {"Sub Main()", "é"}, "UTF-8", "\xEF\xBB\xBF", "\r\n", "", "UTF-8"},
      {"valid UTF-8 in a BIG5 run", {"' 中文 comment", "x"}, "UTF-8", "", "\r\n", "BIG5", "UTF-8"},
      {"ASCII under strict UTF-8", {"Sub A()", "End Sub"}, "UTF-8", "", "\n", "65001", "UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.mark + Encode(Join(c.rows, c.delimiter), c.written_in), c.delimiter, c.code_page);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.rows, c.rows);
    EXPECT_EQ(outcome.encoding, c.encoding);
  }
}

TEST_F(LineReaderCodePageTest, UnassignedWindows1252BytesAndBytesMode) {
  const std::string bytes = Encode("é ", "WINDOWS-1252") + "\x81\x8D\x8F\x90\x9D\r\n\xEF\xBB\xBF";
  Outcome outcome = Read(bytes, "\r\n", "USE_DEFAULT");
  EXPECT_EQ(outcome.rows, (std::vector<std::string>{"é \u0081\u008D\u008F\u0090\u009D", "ï»¿"}));
  outcome = Read("\xEF\xBB\xBF" + bytes, "\r\n", "bytes");
  EXPECT_EQ(outcome.rows, (std::vector<std::string>{"\xEF\xBB\xBF\xE9 \x81\x8D\x8F\x90\x9D", "\xEF\xBB\xBF"}));
  EXPECT_EQ(outcome.encoding, "BYTES");
}

// Under FAIL bad bytes fail the load naming line and offset; under REPLACE,
// the default, each bad sequence is one U+FFFD and the first is located.
TEST_F(LineReaderCodePageTest, BadBytesAreReplacedOrFail) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string code_page;
    std::vector<std::string> rows_before;  // FAIL: the rows before the error
    std::string error;                     // FAIL: after the quoted path
    std::vector<std::string> replaced_rows;  // REPLACE: all rows
    int64_t replaced;                        // REPLACE: bad sequences
    int64_t first_line;
    uint64_t first_offset;
  };
  const std::string stray_big5 = Encode("' 檢查\r\nx = \"", "BIG5") + "\xE9\" \xA4\r\n" + Encode("' 中文\r\n", "BIG5");
  const std::vector<Case> cases = {
      {"invalid UTF-8 under UTF-8", "a\r\nb\xFF" "c\r\n", "UTF-8", {"a"},
       " line 2: not valid UTF-8 at byte offset 4 (bytes FF 63 0D 0A)", {"a", "b\uFFFDc"}, 1, 2, 4},
      {"a UTF-8 mark makes the file UTF-8", "\xEF\xBB\xBF" "a\r\n\xC3\x28\n\xFF", "", {"a"},
       " line 2: not valid UTF-8 at byte offset 6 (bytes C3 28 0A FF)", {"a", "\uFFFD(", "\uFFFD"}, 2, 2, 6},
      {"UTF-8 cut off at the end", "a\n\xE4\xB8", "UTF-8", {"a"},
       " line 2: incomplete UTF-8 character at byte offset 2, where the file ends (bytes E4 B8)", {"a", "\uFFFD"}, 1,
       2, 2},
      {"not BIG5", "ok\r\n\xA4\x7C\xA4\x20\r\n", "BIG5", {"ok"},
       " line 2: not valid BIG5 at byte offset 6 (bytes A4 20 0D 0A)", {"ok", "弋\uFFFD "}, 1, 2, 6},
      {"Big5 with a stray Latin-1 byte", stray_big5, "950", {"' 檢查"},
       " line 2: not valid CP950 at byte offset 13 (bytes E9 22 20 A4)", {"' 檢查", "x = \"\uFFFD\" \uFFFD", "' 中文"},
       2, 2, 13},
      {"UTF-16 cut off at the end", "\xFF\xFE" "a\0\n\0b"s, "", {"a"},
       " line 2: incomplete UTF-16LE character at byte offset 6, where the file ends (bytes 62)", {"a", "\uFFFD"}, 1,
       2, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome failed = Read(c.bytes, "\r\n", SourceDecoding(c.code_page, "", "FAIL"));
    EXPECT_EQ(failed.rows, c.rows_before);
    EXPECT_EQ(failed.error, Quoted() + c.error);
    const Outcome replaced = Read(c.bytes, "\r\n", c.code_page);
    EXPECT_EQ(replaced.error, "");
    EXPECT_EQ(replaced.rows, c.replaced_rows);
    EXPECT_EQ(replaced.replaced, c.replaced);
    EXPECT_EQ(replaced.first_replaced_line, c.first_line);
    EXPECT_EQ(replaced.first_replaced_offset, c.first_offset);
  }
  const Outcome unknown = Read("x", "\r\n", " klingon ");
  EXPECT_EQ(unknown.error, "cannot read source file " + Quoted() +
                               ": SOURCE_FILE_CODE_PAGE \" klingon \" is not a code page this system knows (a name "
                               "such as WINDOWS-1252, BIG5 or CP932, a Windows code page number, UTF-8, AUTO or BYTES)");
}

// Text is text: UTF-16 without its mark is read as UTF-16 only under AUTO,
// and a NUL fails the load under every code page, BYTES included.
TEST_F(LineReaderCodePageTest, Utf16WithoutMarkAndNul) {
  const std::string utf16 = Encode("Sub Main()\r\n  x = \"中\"\r\n", "UTF-16LE");
  struct Case {
    const char* name;
    std::string bytes;
    std::string code_page;
    std::vector<std::string> rows;
    std::string error;  // after the quoted path, or the whole text when it starts with "cannot"
  };
  const std::vector<Case> cases = {
      {"UTF-16 under AUTO", utf16, "AUTO", {"Sub Main()", "  x = \"中\""}, ""},
      {"UTF-16 under Windows-1252", utf16, "", {},
       "cannot read source file @: it looks like UTF-16LE text without a byte-order mark (a NUL in every other byte); "
       "save it with its mark, or set SOURCE_FILE_CODE_PAGE to AUTO"},
      {"UTF-16 under UTF-8", utf16, "UTF-8", {}, "cannot read source file @: it looks like UTF-16LE"},
      {"a NUL line, Windows-1252", "a\r\nb\0c\r\n"s, "", {"a"}, "@ line 2: binary content (a NUL character in the line)"},
      {"a NUL from UTF-16", "\xFF\xFE" "a\0\n\0\0\0"s, "", {"a"}, "@ line 2: binary content (a NUL character in the line)"},
      {"a NUL byte under BYTES", "a\0\n"s, "BYTES", {}, "@ line 1: binary content (a NUL byte in the line)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.bytes, "\r\n", c.code_page);
    EXPECT_EQ(outcome.rows, c.rows);
    std::string error = c.error;
    if (const std::size_t at = error.find('@'); at != std::string::npos) error.replace(at, 1, Quoted());
    EXPECT_EQ(outcome.error.substr(0, error.size()), error);
    EXPECT_EQ(outcome.error.empty(), error.empty());
  }
}

TEST_F(LineReaderCodePageTest, LimitCountsCharacters) {
  std::string accents;
  for (int i = 0; i < 8000; ++i) accents += "é";
  std::string wide;
  for (int i = 0; i < 100'000; ++i) wide += "中";
  struct Case {
    const char* name;
    std::string bytes;
    std::string code_page;
    std::string error;  // "" when the row loads
  };
  const std::vector<Case> cases = {
      {"8000 characters of UTF-8 (16000 bytes)", accents + "\r\n", "", ""},
      {"8001 characters of UTF-8", accents + "é", "", " line 1: line is 8001 characters, longer than the 8000 allowed"},
      {"8000 characters of Windows-1252", Encode(accents, "WINDOWS-1252"), "", ""},
      {"the same row under BYTES", accents, "BYTES", " line 1: line is 16000 bytes, longer than the 8000 allowed"},
      {"100,000 characters over several blocks", "x\n" + wide + "\nz", "",
       " line 2: line is 100000 characters, longer than the 8000 allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.bytes, "\r\n", c.code_page);
    EXPECT_EQ(outcome.error, c.error.empty() ? "" : Quoted() + c.error);
  }
}

TEST_F(LineReaderCodePageTest, CharactersAcrossTheBlockBoundary) {
  struct Case {
    const char* name;
    std::string mark;
    const char* written_in;
    std::size_t unit;       // bytes of an ASCII character
    std::string special;    // starts at the last byte(s) of the first block
    std::string later;      // a row after the first block
    std::string code_page;
    std::string encoding;
    int later_rows = 50;  // of 5,000 bytes: 3,500 make a file past the 16 MiB read whole to decide
  };
  const std::vector<Case> cases = {
      {"UTF-8, read whole to decide", "", "UTF-8", 1, "中", "é", "", "UTF-8"},
      {"UTF-8, read ahead to its end", "", "UTF-8", 1, "中", "é", "", "UTF-8", 3500},
      {"UTF-8 said, read a block at a time", "", "UTF-8", 1, "中", "é", "UTF-8", "UTF-8"},
      {"BIG5", "", "BIG5", 1, "中", "文", "BIG5", "BIG5"},
      {"UTF-16 LE, a surrogate pair", "\xFF\xFE", "UTF-16LE", 2, "😀", "é", "", "UTF-16LE"},
      // The first block is valid UTF-8 ("Ã©" written in Windows-1252 is C3 A9),
      // the rest is not: the whole file is Windows-1252.
      {"UTF-8 first block, Windows-1252 later", "", "WINDOWS-1252", 1, "Ã©", "é", "", "WINDOWS-1252"},
      {"the same past 16 MiB", "", "WINDOWS-1252", 1, "Ã©", "é", "", "WINDOWS-1252", 3500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = (kBlock - c.unit - c.mark.size()) / c.unit;
    std::vector<std::string> rows = {std::string(before, 'f') + c.special + "x"};
    for (int i = 0; i < c.later_rows; ++i) rows.push_back(std::string(5000, static_cast<char>('a' + i % 26)) + c.later);
    const std::string bytes = c.mark + Encode(Join(rows, "\r\n"), c.written_in);
    ASSERT_GT(bytes.size(), kBlock + 100'000);
    const Outcome outcome = Read(bytes, "\r\n", c.code_page, 1'000'000);
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(outcome.rows == rows) << "rows differ";  // rows of 256 KiB: no listing
    EXPECT_EQ(outcome.encoding, c.encoding);
  }
}

// A file that shrinks while it is read fails; one that grows is read as it
// was when it was opened. Under the default code page a file of a few
// blocks whose first block is UTF-8 is read whole to decide, at the open:
// what happens to it later is not seen.
TEST_F(LineReaderCodePageTest, FileChangedWhileRead) {
  const std::string row(999, 'r');
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += row + "\n";
  struct Case {
    const char* name;
    const char* code_page;
    bool shrink;
    bool fails;
  };
  const std::vector<Case> cases = {
      {"UTF-8, shrinks", "UTF-8", true, true},
      {"UTF-8, grows", "UTF-8", false, false},
      {"default, read whole at the open, shrinks", "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Write("changing.bas", bytes);
    LineReader reader(path, "\r\n", 8000, c.code_page);
    ASSERT_TRUE(reader.Open()) << reader.Error();
    if (c.shrink) {
      std::filesystem::resize_file(path, 300'000);
    } else {
      dir_.Write("changing.bas", bytes + bytes);
    }
    std::string_view line;
    int64_t rows = 0;
    while (reader.Next(line)) ++rows;
    if (c.fails) {
      EXPECT_EQ(reader.Error(), "cannot read source file \"" + path + "\" after line " + std::to_string(rows) +
                                    ": the file shrank from 1000000 to 300000 bytes while it was read");
    } else {
      EXPECT_EQ(reader.Error(), "");
      EXPECT_EQ(rows, 1000);
    }
  }
}

TEST_F(LineReaderCodePageTest, GuessesTheCodePageOfFilesReadInTheCodePage) {
  std::string chinese;
  for (int i = 0; i < 20; ++i) chinese += "' 檢查客戶資料是否完整\r\nMsgBox \"儲存失敗，請重新輸入\"\r\nx = 1\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::string guess;
  };
  const std::vector<Case> cases = {
      {"Big5 read as Windows-1252", Encode(chinese, "BIG5"), "BIG5"},
      {"Spanish: lone accented letters are not examined", Encode("' Año\r\nx = \"Atención\"\r\n", "WINDOWS-1252"), ""},
      {"UTF-8 is not examined", chinese, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineReader reader(dir_.Write("guess.bas", c.bytes), "\r\n", 8000, "");
    ASSERT_TRUE(reader.Open());
    std::string_view line;
    while (reader.Next(line)) {
    }
    EXPECT_EQ(reader.DetectedCodePage(), c.guess);
  }
}

}  // namespace
}  // namespace corvanne
