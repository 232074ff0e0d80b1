// Fakes shared by the run tests: a destination that records every load and
// the lines it read, a fixed clock, and a progress display that records.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/platform.hpp"
#include "common/progress.hpp"
#include "destination/destination.hpp"
#include "testing/recording_display.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne::testing {

// One load as the destination saw it.
struct LoadCall {
  std::string path;                // request.source_path (also for a marker row)
  std::vector<std::string> lines;  // the rows: read from the file, or the marker row
  bool ok = true;                  // false: the load failed and wrote nothing (or its unit was lost)
  int group = 0;                   // 1, 2, ... for the unit the load was in; 0 outside any
  bool marker = false;             // a marker row, loaded from its text
};

// Reads a file at load time and cuts it at CR LF or LF; fails for missing
// files and for the paths in `failing`; a unit with a load of a path in
// `failing_commits` fails to commit and loses its loads; a marker row that
// holds a text of `failing_markers` fails. Appends to a log the test owns.
class FakeDestination : public LoadDestination {
 public:
  FakeDestination(std::vector<LoadCall>& log, std::set<std::string> failing,
                  std::set<std::string> failing_commits = {}, std::set<std::string> failing_markers = {})
      : log_(log),
        failing_(std::move(failing)),
        failing_commits_(std::move(failing_commits)),
        failing_markers_(std::move(failing_markers)) {}

  LoadResult Open(const LoadRequest&) override { return LoadResult::Loaded(0); }
  LoadResult Verify(const LoadRequest&) override { return LoadResult::Loaded(0); }
  LoadResult BeginUnit(const LoadRequest&) override {
    group_ = ++groups_;
    group_start_ = log_.size();
    return LoadResult::Loaded(0);
  }
  LoadResult CommitUnit() override {
    bool fails = false;
    for (std::size_t i = group_start_; i < log_.size(); ++i) fails = fails || failing_commits_.count(log_[i].path) > 0;
    if (fails) LoseUnit();
    group_ = 0;
    if (!fails) return LoadResult::Loaded(0);
    return LoadResult::Failed("FakeSource", "commit refused");
  }
  void RollbackUnit() override {
    LoseUnit();
    group_ = 0;
  }

  LoadResult Load(const LoadRequest& request) override {
    LoadCall call{request.source_path, {}, true, group_, request.row_text.has_value()};
    if (call.marker) {
      call.lines.push_back(*request.row_text);
      for (const std::string& text : failing_markers_) call.ok = call.ok && request.row_text->find(text) == std::string::npos;
    } else if (failing_.count(request.source_path) > 0 || !std::filesystem::is_regular_file(request.source_path)) {
      call.ok = false;
    } else {
      const std::string bytes = ReadBytes(request.source_path);
      std::size_t start = 0;
      while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        call.lines.push_back(line);
        start = end + 1;
      }
    }
    log_.push_back(call);
    if (!call.ok) return LoadResult::Failed("FakeSource", "cannot load \"" + request.source_path + "\"");
    return LoadResult::Loaded(static_cast<int64_t>(call.lines.size()));
  }
  LoadResult Close() override { return LoadResult::Loaded(0); }

 private:
  void LoseUnit() {
    if (group_ == 0) return;
    for (std::size_t i = group_start_; i < log_.size(); ++i) log_[i].ok = false;
  }

  std::vector<LoadCall>& log_;
  std::set<std::string> failing_;
  std::set<std::string> failing_commits_;
  std::set<std::string> failing_markers_;
  int groups_ = 0;              // units begun so far
  int group_ = 0;               // the open unit, or 0
  std::size_t group_start_ = 0;  // first log entry of the open unit
};

// Always the same moment: 14 July 2013, 1:02:05 PM.
class FixedClock : public DateTimeSource {
 public:
  std::string ShortDate() const override { return "7/14/2013"; }
  std::string LongTime() const override { return "1:02:05 PM"; }
};

}  // namespace corvanne::testing

#include <gtest/gtest.h>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "run/load_engine.hpp"
#include "run/export.hpp"

namespace corvanne::testing {

// A run over a scratch folder into a FakeDestination, with a fixed clock.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateTimeSource(&clock_);
    state_.ConfigFilePath = dir_.Path("MyConfig.xml");
    state_.Destination.UserName = "loader";
    state_.Destination.DestinationEngine = "SQLITE";
    state_.ConfiguredSource.FileExtensions = "FRM,BAS,CLS";
    state_.ConfiguredSource.RowDelimiter = "VBCRLF";
    state_.ConfiguredSource.FoldersSepChar = ";";
    state_.Run.HeaderTempFile = dir_.Path("TempHeader.txt");
    state_.Run.BatchCode = "42__7_14_2013_1_02_01_PM";
    state_.PackageSource = state_.ConfiguredSource;
  }
  void TearDown() override { SetDateTimeSource(nullptr); }

  // Runs the export; loads of the paths in `failing` fail, and so do the
  // commits of groups that load a path in `failing_commits`.
  RunCounts Run(std::set<std::string> failing = {}, std::set<std::string> failing_commits = {},
                std::set<std::string> failing_markers = {}) {
    engine_.UseDestination(std::make_unique<FakeDestination>(log_, std::move(failing), std::move(failing_commits),
                                                             std::move(failing_markers)));
    RunContext context{state_, notifier_, progress_, engine_, {}};
    RunExport(context);
    return context.counts;
  }

  // The rows that landed, in order (failed loads wrote nothing).
  std::vector<std::string> TableRows() const {
    std::vector<std::string> rows;
    for (const LoadCall& call : log_) {
      if (call.ok) rows.insert(rows.end(), call.lines.begin(), call.lines.end());
    }
    return rows;
  }

  // The group of each load, in load order.
  std::vector<int> GroupsOfTheLoads() const {
    std::vector<int> groups;
    for (const LoadCall& call : log_) groups.push_back(call.group);
    return groups;
  }

  // The marker row the run writes for `path` with the fixture's settings.
  std::string Marker(const std::string& status, int serial, const std::string& upper_path,
                     const std::string& upper_type) const {
    return "<TASK_STATUS>" + status + "</TASK_STATUS><TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME>"
           "<BATCH_CODE>42__7_14_2013_1_02_01_PM</BATCH_CODE><FILE_TYPE>" + upper_type +
           "</FILE_TYPE><USER_NAME>LOADER</USER_NAME><FILE_SERIAL_NUMBER>" + std::to_string(serial) +
           "</FILE_SERIAL_NUMBER><DATE_TIME>7/14/2013 1:02:05 PM</DATE_TIME><FILE_NAME>" + upper_path +
           "</FILE_NAME>";
  }

  TempDir dir_;
  FixedClock clock_;
  AppState state_;
  RecordingNotifier notifier_;
  RecordingDisplay display_;                                // what the window would show
  DisplayProgress progress_{display_, state_.Run.BatchCode};
  LoadEngine engine_{notifier_, dir_.path().string()};
  std::vector<LoadCall> log_;
};

// Upper-case ASCII copy, for expected FILE_NAME values of scratch paths.
inline std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace corvanne::testing
