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

// Everything a run uses; all by reference, owned by the caller.
struct RunContext {
  AppState& state;
  Notifier& notifier;
  ProgressSink& progress;  // discovery's and the run's progress
  LoadEngine& engine;
  RunCounts counts;                 // filled by the run
  Reload* reload = nullptr;         // set by RunExport in load modes REPLACE and CHANGED
};

// The whole export run over ConfiguredSource. Throws WalkError when a folder
// cannot be listed (the run ends there).
void RunExport(RunContext& context);

// BEGINS row, the file, DONE row (the DONE row also after a failed load),
// committed together.
void ExportOneFile(RunContext& context, SourceSettings& source, int32_t serial);

}  // namespace corvanne
