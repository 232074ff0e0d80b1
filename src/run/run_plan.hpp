// The configuration of one run, parsed and checked once into typed values:
// the engine, the load mode, the code page and everything a load of the run
// shares. Nothing in the load path reads a setting as text again.
#pragma once

#include <string>
#include <vector>

#include "common/code_page.hpp"
#include "run/code_page_choice.hpp"
#include "config/app_state.hpp"
#include "discovery/walk.hpp"
#include "destination/destination.hpp"
#include "destination/load_request.hpp"

namespace corvanne {

struct RunPlan {
  Engine engine = Engine::kSqlServer;
  bool engine_known = false;  // DESTINATION_ENGINE names an engine
  LoadMode load_mode = LoadMode::kAppend;
  CodePage code_page;        // SOURCE_FILE_CODE_PAGE (may be AUTO)
  CodePage names;            // how names outside every folder item are decoded (AUTO: the fallback)
  std::vector<FolderCodePage> folder_code_pages;  // SOURCE_FILE_CODE_PAGES_BY_FOLDER, folders resolved
  std::vector<CodePage> folder_names;             // how names under each of those items are decoded
  ResolvedSource source;     // the single file, listed folders and exclusions, spelled once
  FileSelection selection;   // single file or walk, recursion, extensions
  LoadRequest load;          // what every load of the run shares; no file yet
};

// The plan of `state`'s settings (its configured source, its destination,
// its batch code). False with `problems` naming each setting a run refuses,
// as the key, the value and the fix: an unknown SOURCE_FILE_CODE_PAGE or
// DESTINATION_LOAD_MODE, a load mode that cannot run.
bool BuildRunPlan(const AppState& state, RunPlan& plan, std::vector<std::string>& problems);

// `path` (bytes as the file system gave them) as the text it is stored as,
// by FileNameAsText with the code page of the folder item that holds it,
// else the run's (AUTO: its fallback), so that no row, marker or record
// holds broken text. The one identity of a file in every table and message.
std::string FileNameText(const std::string& path, const RunPlan& plan);

// The request of one load of `path` under `plan`.
LoadRequest RequestFor(const RunPlan& plan, const std::string& path);

}  // namespace corvanne
