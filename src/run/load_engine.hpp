// The loads of a run, from its plan: builds each load's description, hands
// it to the configured destination, keeps a source file's loads in one unit,
// and reports failures in their two boxes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "destination/destination.hpp"
#include "destination/load_request.hpp"
#include "run/run_plan.hpp"

namespace corvanne {

// "\r\n" when TrimUpper(RowDelimiter) is "VBCRLF"; else the text unchanged.
std::string TranslateRowDelimiter(const SourceSettings& package_source);

// "[" DatabaseName "].[dbo]." TableName; the table name as configured.
std::string DestinationObjectName(const DestinationSettings& destination);

// What in the settings a run refuses before its first file, each said as
// the key, the value and the fix: an unknown SOURCE_FILE_CODE_PAGE, a
// DESTINATION_LOAD_MODE that cannot run, SQL Server as the engine with no
// server or database named. Empty when a run may start.
std::vector<std::string> RunSettingsProblems(const AppState& state);

// The load of `package_source`'s file that the settings describe;
// `batch_code` fills the batch-code column when one is configured.
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

class LoadEngine;

// One source file's unit: its marker rows, its lines and its record go in
// together or not at all. Move-only; the unit is open from LoadEngine's
// BeginUnit until Commit, and a unit destroyed open is rolled back, never
// committed. Every failure is reported (two boxes naming the file).
class FileUnit {
 public:
  FileUnit() = default;
  ~FileUnit();
  FileUnit(FileUnit&& other) noexcept;
  FileUnit& operator=(FileUnit&& other) noexcept;
  FileUnit(const FileUnit&) = delete;
  FileUnit& operator=(const FileUnit&) = delete;

  bool IsOpen() const { return engine_ != nullptr; }
  // The file's stored name: its identity in rows, markers and messages.
  const std::string& Name() const { return request_.file_name_value; }
  // Loads `row` (a marker row of the file) as one row. A failure costs the
  // file its unit: the caller ends it.
  LoadResult AddMarkerRow(const std::string& row);
  // Loads every row of the file, all or nothing.
  LoadResult LoadLines();
  // Makes `state` the file's companion row (load modes REPLACE and CHANGED).
  LoadResult Record(const FileState& state);
  // Commits and ends the unit. Failed: nothing of it was kept.
  LoadResult Commit();
  // Undoes and ends the unit.
  void Rollback();

 private:
  friend class LoadEngine;
  FileUnit(LoadEngine* engine, LoadRequest request) : engine_(engine), request_(std::move(request)) {}

  LoadEngine* engine_ = nullptr;  // set while the unit is open
  LoadRequest request_;           // the file's load
};

// The loads of one run. Builds the run's plan and chooses the destination
// at the first call, keeps its connection for the run, and closes it in
// Close() or the destructor (an open unit is then rolled back, never
// committed). The plan holds until Close(): a window that re-reads its
// configuration gets a new one for its next run.
class LoadEngine {
 public:
  LoadEngine(Notifier& notifier, std::string application_folder);
  ~LoadEngine();
  LoadEngine(const LoadEngine&) = delete;
  LoadEngine& operator=(const LoadEngine&) = delete;

  // The plan of the run, built from `state` on first use. nullptr with
  // `error` naming the setting when the settings cannot run.
  const RunPlan* Plan(const AppState& state, std::string& error);
  // As Plan, but always built anew from `state`: a run's first call.
  const RunPlan* NewPlan(const AppState& state, std::string& error);
  // Chooses and opens the destination before the first file (SQLite: the
  // table is created when missing). The failure is returned, not shown.
  LoadResult Open(const AppState& state);
  // Checks that the destination can be reached and has the table and
  // columns, creating and loading nothing. Not shown either.
  LoadResult Verify(const AppState& state);
  // Opens the unit of the file `path`. Failed (`result`, reported): the
  // unit returned is not open.
  FileUnit BeginUnit(const AppState& state, const std::string& path, LoadResult& result);
  // Loads the file `path` on its own, all or nothing; reports a failure.
  LoadResult LoadFile(const AppState& state, const std::string& path);
  // Reports `failure` of the file `path` in its two boxes; returns it.
  LoadResult ReportFailure(const AppState& state, const std::string& path, LoadResult failure);
  // Shows `text` as a warning of the run (it makes the exit status 1).
  void Warn(const std::string& text);
  // True once the run's destination is chosen (and not yet closed).
  bool IsOpen() const { return destination_ != nullptr; }
  // The destination's connection: it changes when a lost one was replaced.
  uint64_t ConnectionNumber() const;
  // Adds to `serials` the FILE_SERIAL_NUMBER of every DONE row of this
  // run's batch in the table. False (shown) when the table cannot be read.
  bool FindDoneSerials(const AppState& state, std::set<int32_t>& serials);
  // Makes every commit so far durable on the destination. Failed: some may
  // not be on disk. Not shown.
  LoadResult MakeDurable(const AppState& state);
  // Gives `each` the destination's record of each file it loaded in mode
  // REPLACE or CHANGED, as read. The failure is returned, not shown.
  LoadResult ReadFileStates(const AppState& state, const FileStateSink& each);
  // Gives `each` every file name that has rows in the table or a record; a
  // failure is shown (one box) and returned.
  LoadResult ListFiles(const AppState& state, const FileNameSink& each);
  // Takes out every row and the record of the file stored as `name`, in a
  // transaction of its own; a failure is reported (two boxes) and returned.
  LoadResult ForgetFile(const AppState& state, const std::string& name);
  // Records the times of files found unchanged (see
  // LoadDestination::RefreshFileStates). The failure is returned, not shown.
  LoadResult RefreshFileStates(const AppState& state, const std::vector<FileState>& states);
  // For tests: use `destination` instead of the configured engine.
  void UseDestination(std::unique_ptr<LoadDestination> destination);
  // Rolls back an open unit and closes the destination's connection,
  // making what was loaded durable; the next load builds the plan and
  // chooses the engine from the settings again (a destination handed in is
  // kept). Failed: rows reported loaded may not be on disk.
  LoadResult Close();

 private:
  friend class FileUnit;
  // Builds the plan and chooses the destination unless they are there;
  // false with `error` set when the settings name none that can run.
  bool Ready(const AppState& state, std::string& error);
  // The request for the file `path` under the plan (which must be there).
  LoadRequest Request(const std::string& path) const { return RequestFor(*plan_, path); }
  // Failed when there is no destination, naming `path`.
  LoadResult NoDestination(const std::string& error, const std::string& path) const;
  // Reports a failure of `request`'s file; returns it.
  LoadResult Reported(const LoadRequest& request, LoadResult result);

  Notifier& notifier_;
  std::string application_folder_;
  std::optional<RunPlan> plan_;                    // built on the first call of a run
  std::unique_ptr<LoadDestination> destination_;  // chosen on the first call of a run
  bool injected_ = false;                          // destination_ came from UseDestination
};

}  // namespace corvanne
