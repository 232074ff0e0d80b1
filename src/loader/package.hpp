// One load from the settings: builds the load's description from
// PackageSource and Destination, hands it to the configured destination, and
// reports a failure in its two message boxes.
#pragma once

#include <memory>
#include <string>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "loader/destination.hpp"
#include "loader/load_request.hpp"

namespace corvanne {

// "\r\n" when TrimUpper(RowDelimiter) is "VBCRLF"; else the text unchanged.
std::string TranslateRowDelimiter(const SourceSettings& package_source);

// "[" DatabaseName "].[dbo]." TableName; the table name as configured.
std::string DestinationObjectName(const DestinationSettings& destination);

// The load that the settings describe.
LoadRequest BuildLoadRequest(const SourceSettings& package_source, const DestinationSettings& destination);

// For a failed result: box 1 step name + " failed", source, description;
// box 2 "Error for file... " and the request's source path. Nothing when ok.
void ReportStepFailures(const LoadRequest& request, const LoadResult& result, Notifier& notifier);

// The loads of one run. Chooses the destination from
// Destination.DestinationEngine on the first load, keeps its connection for
// the run, and closes it in Close() or the destructor.
class LoadEngine {
 public:
  LoadEngine(Notifier& notifier, std::string application_folder);
  ~LoadEngine();
  LoadEngine(const LoadEngine&) = delete;
  LoadEngine& operator=(const LoadEngine&) = delete;

  // Loads state.PackageSource.FileNameWithPath into the destination of
  // state.Destination; reports a failure (two boxes) and returns its result.
  LoadResult ExecuteLoadPackage(const AppState& state);
  // The loads from here to EndFileGroup belong to one source file and are
  // committed together (where the destination can); each stays all or
  // nothing on its own.
  void BeginFileGroup(const AppState& state);
  // Commits the group. A failure is reported (two boxes naming `source`'s
  // file) and returned: none of the group's loads was kept.
  LoadResult EndFileGroup(const AppState& state, const SourceSettings& source);
  // For tests: use `destination` instead of the configured engine.
  void UseDestination(std::unique_ptr<LoadDestination> destination);
  // Closes the destination's connection; the next load chooses the engine
  // from the settings again (a destination handed in is kept).
  void Close();

 private:
  // Chooses the destination from the settings unless one is there; false
  // with `error` set when the settings name none that this program has.
  bool EnsureDestination(const AppState& state, std::string& error);

  Notifier& notifier_;
  std::string application_folder_;
  std::unique_ptr<LoadDestination> destination_;  // chosen on the first load of a run
  bool injected_ = false;                          // destination_ came from UseDestination
};

}  // namespace corvanne
