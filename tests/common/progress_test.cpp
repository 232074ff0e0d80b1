// Progress reports as the window shows them: which events make a report,
// the five control operations in order, and the exact box text.
#include "common/progress.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace corvanne {
namespace {

// Records every call the progress display receives, in order.
class RecordingDisplay : public ProgressDisplay {
 public:
  void SetBarVisible() override { calls.push_back("bar visible"); }
  void SetBarMaximum(int32_t maximum) override { calls.push_back("max " + std::to_string(maximum)); }
  void SetBarValue(int32_t value) override { calls.push_back("value " + std::to_string(value)); }
  void SetBoxVisible() override { calls.push_back("box visible"); }
  void SetBoxText(const std::string& text) override { calls.push_back("text " + text); }
  std::vector<std::string> calls;
};

class ProgressTest : public ::testing::Test {
 protected:
  std::string batch_code_ = "1234__7_14_2013_1_02_01_PM";
  RecordingDisplay display_;
  DisplayProgress progress_{display_, batch_code_};
};

// A single-file run shows no progress; counts and the run's end never do.
TEST_F(ProgressTest, SingleFileRunAndCountsTouchNothing) {
  progress_.FilesListed(1, /*single_file=*/true);
  progress_.FileStarted(1, 1, "/src/a.bas");
  progress_.FileDone(RunCounts{});
  progress_.RunFinished(RunCounts{});
  EXPECT_TRUE(display_.calls.empty());
  // The next run, in folder mode, shows its files again.
  progress_.FilesListed(2, /*single_file=*/false);
  progress_.FileStarted(2, 2, "/src/b.bas");
  EXPECT_EQ(display_.calls.size(), 5u);
}

TEST_F(ProgressTest, ReportSetsMaximumBeforeValueAndWritesTheBox) {
  const std::string box = "text  Batch Code : 1234__7_14_2013_1_02_01_PM\r\n\r\n3 of 12 : /src/a.bas";
  const std::vector<std::string> expected = {"bar visible", "max 12", "value 3", "box visible", box};
  progress_.FolderStarted(3, 12, "/src/a.bas");
  EXPECT_EQ(display_.calls, expected);
  display_.calls.clear();
  progress_.FilesListed(12, /*single_file=*/false);
  progress_.FileStarted(3, 12, "/src/a.bas");
  EXPECT_EQ(display_.calls, expected);
}

TEST_F(ProgressTest, BatchCodeIsReadAtEachReport) {
  batch_code_ = "99__1_1_2020_9_00_00_AM";
  progress_.FolderStarted(1, 1, "x");
  EXPECT_EQ(display_.calls.back(), "text  Batch Code : 99__1_1_2020_9_00_00_AM\r\n\r\n1 of 1 : x");
}

TEST(ProgressBoxTextTest, NumbersArePlainDecimal) {
  const std::vector<std::tuple<const char*, int32_t, int32_t, std::string>> cases = {
      {"single digits", 9, 1, " Batch Code : B\r\n\r\n1 of 9 : P"},
      {"no group separators", 1000000, 100000, " Batch Code : B\r\n\r\n100000 of 1000000 : P"},
      {"negative", -1, -2, " Batch Code : B\r\n\r\n-2 of -1 : P"},
  };
  for (const auto& [name, total, index, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ProgressBoxText("B", total, index, "P"), expected);
  }
  EXPECT_EQ(ProgressBoxText("", 0, 0, ""), " Batch Code : \r\n\r\n0 of 0 : ");
}

}  // namespace
}  // namespace corvanne
