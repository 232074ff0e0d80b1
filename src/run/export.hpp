// One export run: selects the files, and loads each between its BEGINS and
// DONE marker rows. Composes discovery and the destination; owns the counts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/file_utils.hpp"
#include "common/notifier.hpp"
#include "common/platform.hpp"
#include "common/progress.hpp"
#include "config/app_state.hpp"
#include "discovery/discovery.hpp"
#include "run/load_engine.hpp"
#include "run/run_plan.hpp"

namespace corvanne {

class Reload;

// A file counted as loaded whose commit the destination has not yet
// confirmed as durable (a server may commit without flushing at once).
struct UnconfirmedFile {
  const std::string* path = nullptr;  // as the walk gave it; in the run's file list, which outlives the entry
  int32_t serial = 0;                 // its FILE_SERIAL_NUMBER
  bool replaced = false;              // it was counted among the files with bytes stored as U+FFFD
  int64_t rows = 0;                   // lines it added to the count
  const std::tuple<std::string, std::string, std::string>* encoding = nullptr;  // its key in the counts
  uint64_t connection = 0;            // the destination's connection it was committed on
};

// Everything a run uses; all by reference, owned by the caller.
struct RunContext {
  const AppState& state;  // read only: the run does not change its settings
  Notifier& notifier;
  ProgressSink& progress;  // discovery's and the run's progress
  LoadEngine& engine;
  RunCounts counts;                 // filled by the run
  Reload* reload = nullptr;         // set by RunExport in load modes REPLACE and CHANGED
  const RunPlan* plan = nullptr;    // set by RunExport: the settings as the run uses them
  std::vector<UnconfirmedFile> unconfirmed = {};  // loaded since the last confirmed flush
  LineFile header_file = {};        // the header file, kept open for the run
  std::string header_path = {};     // its path, once the first marker row needed it
  // Given the run's file list once the walk made it, before any load.
  std::function<void(const RunFileList&)> walked = {};
};

// The whole export run over ConfiguredSource. Throws WalkError when a folder
// cannot be listed (the run ends there).
void RunExport(RunContext& context);

// BEGINS row, the file, DONE row (the DONE row also after a failed load in
// APPEND mode; in REPLACE and CHANGED a failed load keeps the file's old
// version), committed together. `look` is the file as found before: a
// file that is not regular is never opened (a FIFO would never answer).
// `path` must outlive the run's last check of its durability.
void ExportOneFile(RunContext& context, const std::string& path, int32_t serial, const FileLook& look);

}  // namespace corvanne
