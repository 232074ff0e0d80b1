// One export run: selects the files, and loads each between its BEGINS and
// DONE marker rows. Composes discovery and the loader; owns the counts.
#pragma once

#include <cstdint>
#include <string>

#include "common/notifier.hpp"
#include "common/progress.hpp"
#include "config/app_state.hpp"
#include "run/load_engine.hpp"

namespace corvanne {

class Reload;

// What a run did, for the exit status and the closing summary.
struct RunCounts {
  int64_t files_listed = 0;       // files in the file list (or 1 in single-file mode)
  int64_t files_loaded = 0;       // files whose own load succeeded
  int64_t files_passed_over = 0;  // empty or unreadable-size files
  int64_t lines = 0;              // rows of source files loaded (markers not counted)
  int64_t failed_loads = 0;       // failed loads, marker rows included
  int64_t files_failed = 0;       // files with any failed load (counted once each)
  int64_t files_unchanged = 0;    // CHANGED: files passed over as loaded already
  int64_t files_deleted = 0;      // REPLACE, CHANGED: files whose rows were taken out (vanished or emptied)
};

// Watches a run from outside (the terminal's one-line display). All no-ops
// by default.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void FilesListed(int64_t /*total*/) {}
  virtual void FileStarted(int64_t /*index*/, int64_t /*total*/, const std::string& /*path*/) {}
  virtual void FileDone(const RunCounts& /*so_far*/) {}
  virtual void RunFinished(const RunCounts& /*counts*/) {}
};

// Everything a run uses; all by reference, owned by the caller.
struct RunContext {
  AppState& state;
  Notifier& notifier;
  const Progress& progress;
  LoadEngine& engine;
  RunObserver* observer = nullptr;  // may be null
  RunCounts counts;                 // filled by the run
  Reload* reload = nullptr;            // set by RunExport in load modes REPLACE and CHANGED
};

// The whole export run over ConfiguredSource. Throws WalkError when a folder
// cannot be listed (the run ends there).
void RunExport(RunContext& context);

// BEGINS row, the file, DONE row (the DONE row also after a failed load),
// committed together; a marker row that fails costs the file its unit.
void ExportOneFile(RunContext& context, SourceSettings& source, int32_t serial);

}  // namespace corvanne
