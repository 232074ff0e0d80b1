// The loads of a run, from the settings: builds each load's description from
// the settings records, hands it to the configured destination, keeps a
// source file's loads in one unit, and reports failures in their two boxes.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include <vector>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "loader/destination.hpp"
#include "loader/load_request.hpp"

namespace corvanne {

// "\r\n" when TrimUpper(RowDelimiter) is "VBCRLF"; else the text unchanged.
std::string TranslateRowDelimiter(const SourceSettings& package_source);

// "[" DatabaseName "].[dbo]." TableName; the table name as configured.
std::string DestinationObjectName(const DestinationSettings& destination);

// What in the settings a run refuses before its first file, each said as
// the key, the value and the fix: a code page setting it cannot use, a
// DESTINATION_LOAD_MODE that cannot run. Empty when a run may start.
std::vector<std::string> RunSettingsProblems(const AppState& state);

// `path` (bytes as the file system gave them) as text for a row, by
// FileNameAsText: decoded with `code_page` (the file's folder's, else the
// run's; under AUTO with `fallback`) when it is not UTF-8, so that a marker
// row or a file-name column never holds broken text.
std::string PathAsText(const std::string& path, const std::string& code_page, const std::string& fallback = {});

// The load that the settings describe; `batch_code` fills the batch-code
// column when one is configured.
LoadRequest BuildLoadRequest(const SourceSettings& package_source, const DestinationSettings& destination,
                             const std::string& batch_code = {});

// For a failed result: box 1 step name + " failed", source, description;
// box 2 "Error for file... " and `path`. Nothing when ok.
void ReportStepFailures(const LoadRequest& request, const LoadResult& result, Notifier& notifier);

// The destination could not be opened before the first file: the run does
// not start. what() names the destination and the cause.
class DestinationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The loads of one run. Chooses the destination from
// Destination.DestinationEngine at the first call, keeps its connection for
// the run, and closes it in Close() or the destructor (an open unit is then
// rolled back, never committed).
class LoadEngine {
 public:
  LoadEngine(Notifier& notifier, std::string application_folder);
  ~LoadEngine();
  LoadEngine(const LoadEngine&) = delete;
  LoadEngine& operator=(const LoadEngine&) = delete;

  // Chooses and opens the destination before the first file (SQLite: the
  // table is created when missing). The failure is returned, not shown.
  LoadResult Open(const AppState& state);
  // Checks that the destination can be reached and has the table and
  // columns, creating and loading nothing. Not shown either.
  LoadResult Verify(const AppState& state);
  // Opens the unit of `source`'s file: its marker rows and its lines are
  // committed together or not at all. A failure is reported and returned.
  LoadResult BeginUnit(const AppState& state, const SourceSettings& source);
  // Loads state.PackageSource.FileNameWithPath into the destination of
  // state.Destination; reports a failure (two boxes) and returns its result.
  LoadResult ExecuteLoadPackage(const AppState& state);
  // Loads `row` (a marker row of `source`'s file) as one row; reports a
  // failure, which always costs the file its unit.
  LoadResult LoadMarkerRow(const AppState& state, const SourceSettings& source, const std::string& row);
  // Commits the open unit. A failure is reported (two boxes naming
  // `source`'s file) and returned: nothing of the unit was kept.
  LoadResult CommitUnit(const AppState& state, const SourceSettings& source);
  // Undoes the open unit, if any.
  void RollbackUnit();
  // Appends the destination's record of each file it loaded in mode
  // REPLACE or CHANGED. The failure is returned, not shown.
  LoadResult ReadFileStates(const AppState& state, std::vector<FileState>& states);
  // Appends each file name that has rows in the table or a record; a
  // failure is shown (one box) and returned.
  LoadResult ListFiles(const AppState& state, std::vector<std::string>& names);
  // Inside the open unit of `source`'s file: records `file` as loaded. A
  // failure is reported (two boxes) and returned; the unit must then be
  // rolled back.
  LoadResult RecordFile(const AppState& state, const SourceSettings& source, const FileState& file);
  // Takes out every row and the record of the file `path`, in a transaction
  // of its own; a failure is reported (two boxes naming `path`) and returned.
  LoadResult ForgetFile(const AppState& state, const std::string& path);
  // For tests: use `destination` instead of the configured engine.
  void UseDestination(std::unique_ptr<LoadDestination> destination);
  // Rolls back an open unit and closes the destination's connection,
  // making what was loaded durable; the next load chooses the engine from
  // the settings again (a destination handed in is kept). Failed: rows
  // reported loaded may not be on disk.
  LoadResult Close();

 private:
  // Chooses the destination from the settings unless one is there; false
  // with `error` set when the settings name none that this program has.
  bool EnsureDestination(const AppState& state, std::string& error);
  // The request for `source`, with the run's batch code.
  LoadRequest Request(const AppState& state, const SourceSettings& source) const;
  // Failed when there is no destination, naming `path`.
  LoadResult NoDestination(const std::string& error, const std::string& path) const;

  Notifier& notifier_;
  std::string application_folder_;
  std::unique_ptr<LoadDestination> destination_;  // chosen on the first call of a run
  bool injected_ = false;                          // destination_ came from UseDestination
  bool unit_open_ = false;                         // a unit was begun and not yet ended
};

// Rolls the engine's unit back on every exit unless Commit() was reached.
class UnitGuard {
 public:
  explicit UnitGuard(LoadEngine& engine) : engine_(engine) {}
  ~UnitGuard() {
    if (open_) engine_.RollbackUnit();
  }
  UnitGuard(const UnitGuard&) = delete;
  UnitGuard& operator=(const UnitGuard&) = delete;

  LoadResult Begin(const AppState& state, const SourceSettings& source) {
    LoadResult result = engine_.BeginUnit(state, source);
    open_ = result.ok;
    return result;
  }
  LoadResult Commit(const AppState& state, const SourceSettings& source) {
    open_ = false;
    return engine_.CommitUnit(state, source);
  }

 private:
  LoadEngine& engine_;
  bool open_ = false;  // begun, not yet committed or rolled back
};

}  // namespace corvanne
