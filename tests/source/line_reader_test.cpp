// Row splitting of source files: delimiters, limits, bytes kept as they are,
// and rows that straddle the reader's block boundary.
#include "source/line_reader.hpp"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using namespace std::string_literals;

class LineReaderTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::vector<std::string> rows;
    std::string error;
  };

  Outcome Read(const std::string& bytes, const std::string& delimiter, std::size_t limit = 8000) {
    const std::string path = dir_.Write("source.txt", bytes);
    LineReader reader(path, delimiter, limit);
    Outcome outcome;
    if (!reader.Open()) {
      outcome.error = reader.Error();
      return outcome;
    }
    std::string_view line;
    while (reader.Next(line)) {
      outcome.rows.emplace_back(line);
      EXPECT_EQ(reader.LineNumber(), static_cast<int64_t>(outcome.rows.size()));
    }
    outcome.error = reader.Error();
    return outcome;
  }

  std::string SourcePath() const { return dir_.Path("source.txt"); }

  testing::TempDir dir_;
};

TEST_F(LineReaderTest, CutsRowsAtTheDelimiter) {
  const std::string long_line(100'000, 'x');
  const std::string at_limit(8000, 'a');
  struct Case {
    const char* name;
    std::string bytes;
    std::string delimiter;
    std::vector<std::string> rows;
    std::size_t limit = 8000;
  };
  const std::vector<Case> cases = {
      {"empty file", "", "\r\n", {}},
      {"lone newline", "\n", "\r\n", {""}},
      {"lone CR LF", "\r\n", "\r\n", {""}},
      {"no final newline", "a\r\nb", "\r\n", {"a", "b"}},
      {"final newline adds no row", "a\r\nb\r\n", "\r\n", {"a", "b"}},
      {"CRLF and LF mixed", "a\r\nb\nc\r\n\nd", "\r\n", {"a", "b", "c", "", "d"}},
      {"CR alone stays in the row", "a\rb\r\nc\r", "\r\n", {"a\rb", "c\r"}},
      {"CR-only file is one row", "a\rb\rc\r", "\r\n", {"a\rb\rc\r"}},
      {"empty lines are empty rows", "\r\n\r\nx\r\n\r\n", "\r\n", {"", "", "x", ""}},
      {"BOM kept", "\xEF\xBB\xBFSub Main()\r\n", "\r\n", {"\xEF\xBB\xBFSub Main()"}},
      {"invalid UTF-8 kept", "\xC3\x28\xFF\n\xE2\x82\n", "\r\n", {"\xC3\x28\xFF", "\xE2\x82"}},
      {"grave accents kept", "a`b`c\r\n`\r\n", "\r\n", {"a`b`c", "`"}},
      {"line at the limit", at_limit + "\r\nz", "\r\n", {at_limit, "z"}},
      {"line of 100 kB under a high limit", long_line + "\n", "\r\n", {long_line}, 200'000},
      {"literal bar", "a|b||c|", "|", {"a", "b", "", "c"}},
      {"bar mode keeps line breaks", "a\r\nb|c", "|", {"a\r\nb", "c"}},
      {"LF alone is not CR LF when literal", "a\nb\r\nc", "\n", {"a", "b\r", "c"}},
      {"multi-byte delimiter", "a<>b<<>>c<>", "<>", {"a", "b<", ">c"}},
      {"backslash n is two characters", "a\\nb\nc", "\\n", {"a", "b\nc"}},
      {"empty delimiter: the file is one row", "a\r\nb\n", "", {"a\r\nb\n"}},
      {"empty delimiter, empty file", "", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.bytes, c.delimiter, c.limit);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.rows, c.rows);
  }
}

TEST_F(LineReaderTest, RowOverTheLimitNamesFileLineAndLength) {
  const std::string over(8001, 'b');
  const std::string ok(10, 'o');
  struct Case {
    const char* name;
    std::string bytes;
    std::string delimiter;
    std::size_t rows_before;
    std::string expected_tail;
  };
  std::string eleven_lines;
  for (int i = 0; i < 11; ++i) eleven_lines += ok + "\r\n";
  const std::vector<Case> cases = {
      {"line 12 one byte over", eleven_lines + over + "\r\nafter\r\n", "\r\n", 11,
       " line 12: line is 8001 bytes, longer than the 8000 allowed"},
      {"last line without delimiter", over, "\r\n", 0, " line 1: line is 8001 bytes, longer than the 8000 allowed"},
      {"100 kB line counted to its end", ok + "\n" + std::string(100'000, 'x') + "\nz\n", "\r\n", 1,
       " line 2: line is 100000 bytes, longer than the 8000 allowed"},
      {"CR-only file over the limit", std::string(5000, 'c') + "\r" + std::string(5000, 'c') + "\r", "\r\n", 0,
       " line 1: line is 10002 bytes, longer than the 8000 allowed"},
      {"long row with multi-byte delimiter", ok + "<>" + std::string(300'000, 'y') + "<>z", "<>", 1,
       " line 2: line is 300000 bytes, longer than the 8000 allowed"},
      {"empty delimiter, big file", std::string(9000, 'e'), "", 0,
       " line 1: line is 9000 bytes, longer than the 8000 allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Read(c.bytes, c.delimiter);
    EXPECT_EQ(outcome.rows.size(), c.rows_before);
    EXPECT_EQ(outcome.error, "\"" + SourcePath() + "\"" + c.expected_tail);
  }
}

TEST_F(LineReaderTest, DelimiterStraddlingTheBlockBoundary) {
  // Blocks are 256 KiB; rows of 997 bytes plus a 3-byte delimiter put the
  // delimiter of row 263 across the first boundary, at each possible split.
  constexpr std::size_t kBlock = 256 * 1024;
  struct Case {
    const char* name;
    std::string delimiter;
    std::size_t delimiter_start;
  };
  const std::vector<Case> cases = {
      {"3 bytes, 1 before", "#|#", kBlock - 1},
      {"3 bytes, 2 before", "#|#", kBlock - 2},
      {"3 bytes, all after", "#|#", kBlock},
      {"CR before, LF after", "\r\n", kBlock - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t step = 1000;
    const std::size_t body = step - c.delimiter.size();
    const std::size_t first = c.delimiter_start % step;
    std::string bytes = std::string(first, 'f') + c.delimiter;
    std::vector<std::string> rows = {std::string(first, 'f')};
    for (std::size_t i = 0; bytes.size() < kBlock + 5 * step; ++i) {
      rows.push_back(std::string(body, static_cast<char>('a' + i % 26)));
      bytes += rows.back() + c.delimiter;
    }
    ASSERT_NE(bytes.find(c.delimiter, c.delimiter_start), std::string::npos);
    ASSERT_EQ(bytes.compare(c.delimiter_start, c.delimiter.size(), c.delimiter), 0);
    const Outcome outcome = Read(bytes, c.delimiter);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.rows, rows);
  }
}

#ifndef _WIN32  // POSIX only
TEST_F(LineReaderTest, UnreadableSourceNamesFileAndCause) {
  const std::string fifo = dir_.Path("pipe.bas");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  struct Case {
    const char* name;
    std::string path;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {"missing file", dir_.Path("missing.bas"), "No such file or directory"},
      {"a folder", dir_.MakeDir("folder.bas"), "Is a directory"},
      {"a device that never ends", "/dev/zero", "not a regular file"},
      {"a FIFO no one writes to (the open must not wait)", fifo, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineReader reader(c.path, "\r\n", 8000);
    EXPECT_FALSE(reader.Open());
    EXPECT_EQ(reader.Error(), "cannot open source file \"" + c.path + "\": " + c.cause);
    std::string_view line;
    EXPECT_FALSE(reader.Next(line));
  }
}
#endif  // _WIN32

// The size seen at open ends the read early; a file that reports no size
// (as under /proc) is read to its end all the same.
TEST_F(LineReaderTest, ReadsFilesWhoseSizeIsNotKnownInAdvance) {
  LineReader reader("/proc/self/status", "\r\n", 8000);
  ASSERT_TRUE(reader.Open()) << reader.Error();
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_TRUE(line.starts_with("Name:")) << line;
  while (reader.Next(line)) {
  }
  EXPECT_EQ(reader.Error(), "");
  EXPECT_GT(reader.LineNumber(), 10);
}

}  // namespace
}  // namespace corvanne
