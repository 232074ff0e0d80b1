// Runs that keep a table equal to the tree, file by file: load modes
// REPLACE and CHANGED, the companion table's records, files passed over as
// unchanged, and the rows of vanished files taken out. APPEND runs never
// come here.
#pragma once

#include <unordered_map>
#include <ostream>
#include <string>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "discovery/discovery.hpp"
#include "loader/file_state.hpp"
#include "run/export.hpp"
#include "run/load_engine.hpp"

namespace corvanne {

// Whether the load-mode keys of `destination` can run: a known
// DESTINATION_LOAD_MODE, REPLACE and CHANGED only with a file-name column,
// and DESTINATION_DELETE_VANISHED_FILES_YES_NO only with one of them. False
// with `reason` naming the key and the fix. `mode` gets the mode.
bool CheckLoadMode(const DestinationSettings& destination, LoadMode& mode, std::string& reason);

// The re-load side of one run (mode REPLACE or CHANGED), on the run's engine.
class Reload {
 public:
  Reload(LoadEngine& engine, const AppState& state, LoadMode mode);

  // Reads what the companion table knows (the destination is open). False
  // with `error` set when it cannot be read; the run must not start then.
  bool Start(std::string& error);
  // Looks at a file of the list: its size (-1 when it cannot be read; the
  // run then asks again, and reports why). Size and time are kept for
  // NeedsLoad() and Record().
  int64_t Look(const std::string& path);
  // For a file of the list that is not empty: true when the run must load
  // it (REPLACE: always; CHANGED: unless it is as last loaded). Uses what
  // Look() kept of the same file, else looks itself. The hash is kept for
  // Record().
  bool NeedsLoad(const std::string& path);
  // Inside the file's open unit, after its lines loaded: records the file as
  // loaded with `lines` rows. False (reported) when it could not; the unit
  // must then be rolled back.
  bool Record(const SourceSettings& source, int64_t lines);
  // An empty file of the list: its earlier rows go, if it had any. True
  // when they went.
  bool Emptied(const std::string& path);
  // With DESTINATION_DELETE_VANISHED_FILES_YES_NO: takes out the rows of
  // every file under `configured`'s folders (as the walk reaches them, and
  // only folders that exist) that `files` does not hold. Each file is one
  // transaction. Returns how many files went; `failed` counts the failures
  // (reported).
  int64_t DeleteVanished(const SourceSettings& configured, const ItemList& files, int64_t& failed);
  // The files DeleteVanished would take out, without taking them out.
  ItemList Vanished(const SourceSettings& configured, const ItemList& files, std::string& error);

 private:
  LoadEngine& engine_;
  const AppState& state_;
  LoadMode mode_;
  std::unordered_map<std::string, FileState> known_;  // the companion table at the start of the run
  FileState pending_;                       // the file NeedsLoad last looked at
};

// --list in CHANGED mode: each file of `files` after a mark and a tab:
// "load" (would be loaded), "unchanged" (passed over), "empty" (passed
// over); with vanished files deleted, "delete" lines follow for them.
// False (with a message shown) when the destination cannot be read.
bool PrintReloadList(const AppState& state, const ItemList& files, std::ostream& out, Notifier& messages);

}  // namespace corvanne
