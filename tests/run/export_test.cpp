// The export run over a fake destination: which files are loaded, in which
// order, between which markers, and what the user is told on the way.
#include "run/export.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "common/message_texts.hpp"
#include "destination/load_request.hpp"
#include "run/run_test_support.hpp"

namespace corvanne {
namespace {

using testing::ReadBytes;
using testing::RunTest;
using testing::Upper;
using Rows = std::vector<std::string>;

TEST_F(RunTest, SingleFileModeHasNoSizeTestAndNoProgress) {
  testing::RecordingDisplay& display = display_;
  struct Case {
    const char* name;
    const char* content;  // nullptr: the file does not exist
    Rows lines;
    int64_t failed;
  };
  const std::vector<Case> cases = {
      {"a file with lines", "one\r\ntwo\r\n", {"one", "two"}, 0},
      {"an empty file", "", {}, 0},
      {"a missing file", nullptr, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    notifier_.messages.clear();
    const std::string path = dir_.Path(std::string("single/") + c.name + ".frm");
    if (c.content != nullptr) dir_.Write(std::string("single/") + c.name + ".frm", c.content);
    state_.ConfiguredSource.FileNameWithPath = path;

    const RunCounts counts = Run();

    Rows expected = {Marker("BEGINS", 1, Upper(path), "FRM")};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    expected.push_back(Marker("DONE", 1, Upper(path), "FRM"));
    EXPECT_EQ(TableRows(), expected);
    ASSERT_EQ(log_.size(), 3u);
    EXPECT_EQ(log_[1].path, path);  // the file's own load, case kept
    EXPECT_EQ(counts.failed_loads, c.failed);
    EXPECT_EQ(counts.lines, static_cast<int64_t>(c.lines.size()));
    EXPECT_EQ(notifier_.messages.size(), c.failed == 0 ? 0u : 2u);
  }
  EXPECT_TRUE(display.reports.empty());
}

TEST_F(RunTest, SingleFileGivenRelativeIsTakenFromTheApplicationFolder) {
  const std::string path = dir_.Write("single/rel.bas", "only\r\n");
  state_.ConfiguredSource.FileNameWithPath = "single/rel.bas";

  Run();

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(path), "BAS"), "only", Marker("DONE", 1, Upper(path), "BAS")}));
  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_[1].path, path);
}

TEST_F(RunTest, RelativeHeaderFileIsTakenFromTheApplicationFolder) {
  const std::string path = dir_.Write("single/h.bas", "only\r\n");
  state_.ConfiguredSource.FileNameWithPath = path;
  state_.Run.HeaderTempFile = "scratch/Header.txt";
  dir_.MakeDir("scratch");

  Run();

  EXPECT_EQ(ReadBytes(dir_.Path("scratch/Header.txt")), Marker("DONE", 1, Upper(path), "BAS") + "\r\n");
}

TEST_F(RunTest, NothingConfiguredLoadsNothing) {
  const RunCounts counts = Run();
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(std::filesystem::exists(state_.Run.HeaderTempFile));
  EXPECT_EQ(counts.files_listed, 0);
  EXPECT_TRUE(notifier_.messages.empty());
}

TEST_F(RunTest, EmptyFileIsPassedOverAndUsesUpItsSerial) {
  const std::string a = dir_.Write("src/a.frm", "1\r\n2\r\n");
  dir_.Write("src/b.frm", "");
  const std::string c = dir_.Write("src/c.frm", "x\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  state_.ConfiguredSource.FileNameWithPath = dir_.Write("elsewhere.frm", "not loaded\r\n");

  const RunCounts counts = Run();

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(a), "FRM"), "1", "2", Marker("DONE", 1, Upper(a), "FRM"),
                          Marker("BEGINS", 3, Upper(c), "FRM"), "x", Marker("DONE", 3, Upper(c), "FRM")}));
  EXPECT_EQ(log_[1].path, a);
  EXPECT_EQ(counts.files_listed, 3);
  EXPECT_EQ(counts.files_loaded, 2);
  EXPECT_EQ(counts.files_passed_over, 1);
  EXPECT_EQ(counts.lines, 3);
  EXPECT_EQ(counts.failed_loads, 0);
  EXPECT_TRUE(notifier_.messages.empty());  // an empty file is passed over silently
}

TEST_F(RunTest, PathListedTwiceIsLoadedTwiceWithTwoSerials) {
  const std::string a = dir_.Write("src/a.bas", "only\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src") + ";" + dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;

  Run();

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(a), "BAS"), "only", Marker("DONE", 1, Upper(a), "BAS"),
                          Marker("BEGINS", 2, Upper(a), "BAS"), "only", Marker("DONE", 2, Upper(a), "BAS")}));
}

TEST_F(RunTest, DoneRowFollowsAFailedLoadAndTheRunGoesOn) {
  const std::string a = dir_.Write("src/a.frm", "lost\r\n");
  const std::string b = dir_.Write("src/b.frm", "kept\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;

  const RunCounts counts = Run({a});

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(a), "FRM"), Marker("DONE", 1, Upper(a), "FRM"),
                          Marker("BEGINS", 2, Upper(b), "FRM"), "kept", Marker("DONE", 2, Upper(b), "FRM")}));
  EXPECT_EQ(counts.failed_loads, 1);
  EXPECT_EQ(counts.files_failed, 1);
  EXPECT_EQ(counts.files_loaded, 1);
  EXPECT_EQ(counts.lines, 1);
  EXPECT_EQ(notifier_.messages,
            (std::vector<Message>{texts::StepFailed(kStepName, "FakeSource", "cannot load \"" + a + "\""),
                                  texts::ErrorForFile(a)}));
  EXPECT_EQ(GroupsOfTheLoads(), (std::vector<int>{1, 1, 1, 2, 2, 2}));
}

TEST_F(RunTest, FileWhoseGroupCannotCommitIsNotCountedAsLoaded) {
  const std::string a = dir_.Write("src/a.frm", "lost 1\r\nlost 2\r\n");
  const std::string b = dir_.Write("src/b.frm", "kept\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;

  const RunCounts counts = Run({}, {a});

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 2, Upper(b), "FRM"), "kept", Marker("DONE", 2, Upper(b), "FRM")}));
  EXPECT_EQ(counts.failed_loads, 1);
  EXPECT_EQ(counts.files_failed, 1);
  EXPECT_EQ(counts.files_loaded, 1);
  EXPECT_EQ(counts.lines, 1);
  EXPECT_EQ(notifier_.messages,
            (std::vector<Message>{
                texts::StepFailed(kStepName, "FakeSource", "commit refused; nothing of \"" + a + "\" was kept"),
                texts::ErrorForFile(a)}));
}

TEST_F(RunTest, SkippedHeadersLeaveOnlyTheFilesAndNoHeaderFile) {
  const std::string a = dir_.Write("src/a.frm", "1\r\n");
  const std::string b = dir_.Write("src/b.frm", "2\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  state_.Run.SkipCompletionHeaders = true;

  Run();

  EXPECT_EQ(TableRows(), (Rows{"1", "2"}));
  EXPECT_EQ(GroupsOfTheLoads(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(std::filesystem::exists(state_.Run.HeaderTempFile));
}

TEST_F(RunTest, HeaderFileHoldsTheLastMarkerRowAfterTheRun) {
  dir_.Write("src/a.frm", "1\r\n");
  const std::string b = dir_.Write("src/b.frm", "2\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;

  Run();

  EXPECT_EQ(ReadBytes(state_.Run.HeaderTempFile), Marker("DONE", 2, Upper(b), "FRM") + "\r\n");
}

TEST_F(RunTest, ProgressReportsConfiguredFoldersThenSearchedFoldersThenFiles) {
  testing::RecordingDisplay& display = display_;
  const std::string a = dir_.Write("src/x/a.frm", "1\r\n");
  const std::string e = dir_.Write("src/y/empty.frm", "");
  const std::string b = dir_.Write("src/y/b.cls", "2\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");

  Run();

  using testing::ProgressReport;
  EXPECT_EQ(display.reports, (std::vector<ProgressReport>{
                                 {1, 1, dir_.Path("src")},
                                 {2, 1, dir_.Path("src/x")},
                                 {2, 2, dir_.Path("src/y")},
                                 {3, 1, a},
                                 {3, 2, b},
                                 {3, 3, e},  // counted and shown although passed over
                             }));
}

TEST_F(RunTest, FileVanishedAfterListingFailsWithTheErrorBox) {
  testing::RecordingDisplay& display = display_;
  const std::string a = dir_.Write("src/a.frm", "1\r\n");
  const std::string b = dir_.Write("src/b.frm", "2\r\n");
  const std::string c = dir_.Write("src/c.frm", "3\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  display.on_box_text = [&](const std::string& item) {
    if (item == b) std::filesystem::remove(b);
  };

  const RunCounts counts = Run();

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(a), "FRM"), "1", Marker("DONE", 1, Upper(a), "FRM"),
                          Marker("BEGINS", 3, Upper(c), "FRM"), "3", Marker("DONE", 3, Upper(c), "FRM")}));
  // Unknown is not empty: the file fails, and a re-load would keep its rows.
  EXPECT_EQ(counts.files_passed_over, 0);
  EXPECT_EQ(counts.files_failed, 1);
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0].text,
            "Error No. " + std::to_string(ENOENT) + "\r\nDescription : \"" + b + "\": No such file or directory");
}

// A header file that cannot be written is reported, and the marker rows
// still load from the lines as built: the file's lines keep their markers.
TEST_F(RunTest, UnwritableHeaderFileIsReportedAndTheMarkersStillLoad) {
  const std::string a = dir_.Write("src/a.frm", "1\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  state_.Run.HeaderTempFile = dir_.Path("no-such-folder/TempHeader.txt");

  const RunCounts counts = Run();

  EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 1, Upper(a), "FRM"), "1", Marker("DONE", 1, Upper(a), "FRM")}));
  EXPECT_EQ(counts.files_loaded, 1);
  EXPECT_EQ(counts.failed_loads, 0);
  EXPECT_EQ(notifier_.messages,
            std::vector<Message>(2, texts::WriteFailed(state_.Run.HeaderTempFile, "No such file or directory")));
}

// A marker row is never in the table without its partner, and a file's
// lines never without their markers.
TEST_F(RunTest, FailedMarkerRowCostsTheFileItsWholeUnit) {
  const std::string a = dir_.Write("src/a.frm", "lost\r\n");
  const std::string b = dir_.Write("src/b.frm", "kept\r\n");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  for (const std::string status : {"BEGINS", "DONE"}) {
    SCOPED_TRACE(status);
    log_.clear();
    notifier_.messages.clear();
    const RunCounts counts = Run({}, {}, {Marker(status, 1, Upper(a), "FRM")});
    EXPECT_EQ(TableRows(), (Rows{Marker("BEGINS", 2, Upper(b), "FRM"), "kept", Marker("DONE", 2, Upper(b), "FRM")}));
    EXPECT_EQ(counts.files_failed, 1);
    EXPECT_EQ(counts.files_loaded, 1);
    ASSERT_EQ(notifier_.messages.size(), 2u);
    EXPECT_NE(notifier_.messages[0].text.find("nothing of \"" + a + "\" was kept"), std::string::npos);
    // A failed BEGINS row is the end of the file: neither its lines nor its DONE row are tried.
    EXPECT_EQ(log_.size(), status == std::string("BEGINS") ? 4u : 6u);
  }
}

TEST_F(RunTest, ProgressSinkSeesEveryFileAndTheFinalCounts) {
  struct Recorder : ProgressSink {
    std::vector<std::string> events;
    void FolderStarted(int64_t i, int64_t n, const std::string&) override {
      events.push_back("folder " + std::to_string(i) + "/" + std::to_string(n));
    }
    void FilesListed(int64_t total, bool single) override {
      events.push_back("listed " + std::to_string(total) + (single ? " single" : ""));
    }
    void FileStarted(int64_t i, int64_t n, const std::string&) override {
      events.push_back("start " + std::to_string(i) + "/" + std::to_string(n));
    }
    void FileDone(const RunCounts& c) override { events.push_back("done lines=" + std::to_string(c.lines)); }
    void RunFinished(const RunCounts& c) override {
      events.push_back("finished loaded=" + std::to_string(c.files_loaded) +
                       " passed=" + std::to_string(c.files_passed_over));
    }
  } recorder;
  dir_.Write("src/a.frm", "1\r\n2\r\n");
  dir_.Write("src/b.frm", "");
  state_.ConfiguredSource.FoldersList = dir_.Path("src");
  state_.ConfiguredSource.AvoidRecursion = true;
  engine_.UseDestination(std::make_unique<testing::FakeDestination>(log_, std::set<std::string>{}));
  RunContext context{state_, notifier_, recorder, engine_, {}};

  RunExport(context);

  EXPECT_EQ(recorder.events, (std::vector<std::string>{"folder 1/1", "listed 2", "start 1/2", "done lines=2",
                                                       "start 2/2", "done lines=2", "finished loaded=1 passed=1"}));
}

}  // namespace
}  // namespace corvanne
