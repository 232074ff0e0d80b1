// The terminal's progress line: throttled redraws, cleared before messages,
// the closing line at the end, and no progress line when not at a terminal.
#include "run/terminal_progress.hpp"

#include <gtest/gtest.h>

#include <map>

#include <sstream>

namespace corvanne {
namespace {

class TerminalProgressTest : public ::testing::Test {
 protected:
  TerminalProgress Make(bool is_terminal) {
    return TerminalProgress(out_, messages_, is_terminal, [this] { return now_; });
  }
  std::ostringstream out_;  // what the terminal received
  std::ostringstream err_;  // where the messages went
  StreamNotifier messages_{err_};
  double now_ = 100.0;
};

TEST_F(TerminalProgressTest, FormatsLineAndSummary) {
  EXPECT_EQ(TerminalProgress::FormatLine(3, 12, 4096, 2.0), "file 3 of 12, 4,096 lines, 2,048 lines/s");
  EXPECT_EQ(TerminalProgress::FormatLine(1, 1, 0, 0.0), "file 1 of 1, 0 lines, 0 lines/s");
  EXPECT_EQ(TerminalProgress::FormatLine(20000, 20000, 1234567, 1.0),
            "file 20,000 of 20,000, 1,234,567 lines, 1,234,567 lines/s");
  struct Case {
    const char* name;
    RunCounts counts;  // listed, loaded, passed over, failed files, lines, failed loads, encodings
    std::string expected;
  };
  using Encodings = std::map<std::tuple<std::string, std::string, std::string>, int64_t>;
  const auto counts = [](int64_t listed, int64_t loaded, int64_t passed_over, int64_t failed, int64_t lines,
                         int64_t failed_loads, const Encodings& encodings) {
    RunCounts result;
    result.files_listed = listed;
    result.files_loaded = loaded;
    result.files_passed_over = passed_over;
    result.files_failed = failed;
    result.lines = lines;
    result.failed_loads = failed_loads;
    result.encodings = encodings;
    return result;
  };
  const Encodings mixed = {
      {{"UTF-8", "", "/a"}, 3291}, {{"WINDOWS-1252", "BIG5", "/b"}, 20}, {{"WINDOWS-1252", "", "/a"}, 2100}};
  const std::vector<Case> cases = {
      {"failed loads in brackets", counts(1205, 1200, 3, 2, 999, 3, {}),
       "corvanne: 1,200 files loaded, 3 passed over, 2 failed (3 failed loads), 999 lines in 12.3 s"},
      {"nothing failed", counts(14, 13, 1, 0, 817, 0, {}), "corvanne: 13 files loaded, 1 passed over, 0 failed, 817 lines in 12.3 s"},
      {"one of each", counts(3, 1, 1, 1, 1, 1, {}), "corvanne: 1 file loaded, 1 passed over, 1 failed (1 failed load), 1 line in 12.3 s"},
      {"files per encoding read", counts(5411, 5411, 0, 0, 3100000, 0, mixed),
       "corvanne: 5,411 files loaded (3,291 UTF-8, 2,120 WINDOWS-1252), 0 passed over, 0 failed, 3,100,000 lines in "
       "12.3 s"},
      {"files with bytes replaced", [&] {
         RunCounts replaced = counts(7, 7, 0, 0, 70, 0, {{{"CP950", "", "/tw"}, 7}});
         replaced.files_replaced = 2;
         return replaced;
       }(),
       "corvanne: 7 files loaded (7 CP950), 2 with bytes stored as U+FFFD, 0 passed over, 0 failed, 70 lines in 12.3 s"},
      {"nothing decoded", counts(2, 2, 0, 0, 2, 0, {{{"BYTES", "", "/a"}, 1}, {{"UTF-8", "", "/a"}, 1}}),
       "corvanne: 2 files loaded, 0 passed over, 0 failed, 2 lines in 12.3 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TerminalProgress::FormatSummary(c.counts, 12.34), c.expected);
  }
}

TEST_F(TerminalProgressTest, RedrawsAtMostTenTimesASecond) {
  TerminalProgress progress = Make(true);
  progress.FilesListed(1000, false);
  for (int i = 1; i <= 1000; ++i) {
    progress.FileStarted(i, 1000, "/f");
    now_ += 0.001;  // a thousand files in one second
  }
  const std::string shown = out_.str();
  const auto redraws = std::count(shown.begin(), shown.end(), '\r');
  EXPECT_GE(redraws, 9);
  EXPECT_LE(redraws, 11);
  EXPECT_EQ(shown.find('\n'), std::string::npos);  // one line, redrawn in place
}

TEST_F(TerminalProgressTest, ClearsTheLineBeforeAMessageAndShowsItAgainAfter) {
  TerminalProgress progress = Make(true);
  progress.FilesListed(2, false);
  progress.FileStarted(1, 2, "/a");
  const std::string line = "file 1 of 2, 0 lines, 0 lines/s";
  EXPECT_EQ(out_.str(), "\r" + line);

  progress.Show(Message{"something failed"});
  EXPECT_EQ(out_.str(), "\r" + line + "\r" + std::string(line.size(), ' ') + "\r");
  EXPECT_EQ(err_.str(), "corvanne: something failed\n");
  EXPECT_EQ(messages_.shown(), 1);

  out_.str("");
  now_ += 0.01;  // within the interval, yet the line must come back at once
  progress.FileStarted(2, 2, "/b");
  EXPECT_EQ(out_.str(), "\rfile 2 of 2, 0 lines, 0 lines/s");
}

TEST_F(TerminalProgressTest, ShorterLineWipesTheTailOfTheLongerOne) {
  TerminalProgress progress = Make(true);
  progress.FilesListed(10, false);
  progress.FileStarted(10, 10, "/a");
  RunCounts counts;
  counts.lines = 123456;
  now_ += 1.0;
  progress.FileDone(counts);  // "file 10 of 10, 123,456 lines, 123,456 lines/s"
  out_.str("");
  now_ += 1.0;
  progress.FilesListed(1, false);
  progress.FileStarted(1, 1, "/b");
  const std::string line = "file 1 of 1, 0 lines, 0 lines/s";
  const std::string longer = "file 10 of 10, 123,456 lines, 123,456 lines/s";
  EXPECT_EQ(out_.str(), "\r" + line + std::string(longer.size() - line.size(), ' '));
}

TEST_F(TerminalProgressTest, SummaryReplacesTheLineAtTheEnd) {
  TerminalProgress progress = Make(true);
  progress.FilesListed(1, false);
  progress.FileStarted(1, 1, "/a");
  RunCounts counts;
  counts.files_listed = 1;
  counts.files_loaded = 1;
  counts.lines = 5;
  now_ += 2.5;
  progress.RunFinished(counts);
  const std::string line = "file 1 of 1, 0 lines, 0 lines/s";
  EXPECT_EQ(out_.str(), "\r" + line + "\r" + std::string(line.size(), ' ') + "\r" +
                            "corvanne: 1 file loaded, 0 passed over, 0 failed, 5 lines in 2.5 s\n");
}

// A scheduled run's log gets the messages and the closing line, no progress line.
TEST_F(TerminalProgressTest, NotATerminalGetsTheMessagesAndTheClosingLine) {
  TerminalProgress progress = Make(false);
  progress.FilesListed(3, false);
  for (int i = 1; i <= 3; ++i) {
    progress.FileStarted(i, 3, "/f");
    progress.FileDone(RunCounts{});
    now_ += 1.0;
  }
  progress.Show(Message{"a box", "Title"});
  progress.ClearLine();
  progress.RunFinished(RunCounts{});
  EXPECT_EQ(out_.str(), "corvanne: 0 files loaded, 0 passed over, 0 failed, 0 lines in 3.0 s\n");
  EXPECT_EQ(err_.str(), "corvanne: Title: a box\n");
}

}  // namespace
}  // namespace corvanne
