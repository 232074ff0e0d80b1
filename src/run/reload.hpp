// Runs that keep a table equal to the tree, file by file: load modes
// REPLACE and CHANGED, the companion table's records, files passed over as
// unchanged, and the rows of vanished files taken out. The rules live here
// once; each destination supplies only its SQL. APPEND runs never come here.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/notifier.hpp"
#include "common/platform.hpp"
#include "config/app_state.hpp"
#include "discovery/discovery.hpp"
#include "destination/file_state.hpp"
#include "run/known_files.hpp"
#include "run/load_engine.hpp"
#include "run/run_plan.hpp"

namespace corvanne {

// Whether the load-mode keys of `destination` can run: a known
// DESTINATION_LOAD_MODE, REPLACE and CHANGED only with a file-name column,
// and DESTINATION_DELETE_VANISHED_FILES_YES_NO only with one of them. False
// with `reason` naming the key and the fix. `mode` gets the mode.
bool CheckLoadMode(const DestinationSettings& destination, LoadMode& mode, std::string& reason);

// `text` (a stored file name) with "." steps, "name/.." pairs and doubled
// separators removed, and no trailing separator: the spelling the walk
// gives today for a name an older run may have stored otherwise.
std::string NormalisedName(const std::string& text);

// What a vanished-file pass decided: the stored names to take out, and the
// listed folders that yielded no file while files are recorded under them.
struct VanishedFiles {
  std::vector<std::string> names;        // as stored, each to be taken out
  std::vector<std::string> unavailable;  // listed folders (as text) that count as not there
};

// The re-load side of one run (mode REPLACE or CHANGED), on the run's engine.
class Reload {
 public:
  Reload(LoadEngine& engine, const AppState& state, const RunPlan& plan);

  // Before the walk: reads what the companion table knows and, with vanished
  // files deleted, every file name the table holds. A file recorded later
  // (by a run that goes on beside this one) is never taken for vanished.
  // False with `error` set when they cannot be read; the run must not start.
  bool Start(std::string& error);
  // For a regular file of the list that is not empty, as `look` found it:
  // true when the run must load it (REPLACE: always; CHANGED: unless it is
  // as last loaded). Keeps what Record() needs of it.
  bool DecideLoad(const std::string& path, const std::string& text, const FileLook& look);
  // Inside the file's open unit, after its lines loaded: records the file
  // as loaded with `lines` rows. False (reported) when it could not; the
  // unit must then be rolled back.
  bool Record(FileUnit& unit, const std::string& text, int64_t lines);
  // A file of the list that was read as empty: takes its earlier rows out,
  // if it had any. True when they went.
  bool ForgetEmptied(const std::string& text);
  // The walk listed the file stored as `text` (whatever came of it after):
  // it is not vanished.
  void Saw(const std::string& text);
  // Files DecideLoad found unchanged by their content while their time
  // alone could not vouch for them (written just before their last load,
  // or touched since) get their time recorded anew, so that later runs
  // need not read them again. Writes what is queued: all of it with `all`,
  // else only once enough has gathered. A failure only leaves them to be
  // read again next time.
  void RecordUnchanged(bool all);
  // The recorded files this run may take out: each recorded before the walk,
  // lying directly in a folder the walk searched without error, selected by
  // this run's extensions and exclusions, not in `list`, and still not there
  // now; none under a listed folder that yielded no file while the table
  // holds files under it.
  VanishedFiles FindVanished(const RunFileList& list) const;
  // With DESTINATION_DELETE_VANISHED_FILES_YES_NO: FindVanished, a warning
  // per unavailable folder, and each file taken out in a transaction of its
  // own. Returns how many went; `failed` counts the failures (reported).
  int64_t DeleteVanished(const RunFileList& list, int64_t& failed);

 private:
  // Now on `look`'s file system, as far as can be told: never later than its
  // clock, so that "recorded well after its time" is never a guess.
  int64_t TrustedNow(const std::string& path, const FileLook& look);

  // What this run learned of one file system's clock.
  struct Clock {
    int64_t newest = 0;  // the newest write time seen on it
    bool local = false;  // it stamps writes with this machine's clock
  };

  LoadEngine& engine_;
  const AppState& state_;
  const RunPlan& plan_;
  KnownFiles known_;                           // every stored name the table held before the walk
  std::unordered_map<uint64_t, Clock> clocks_;  // per file system
  FileState pending_;                          // the file DecideLoad last looked at
  std::vector<FileState> unchanged_;           // records RecordUnchanged writes
  std::string last_name_;                      // the name Saw() last looked up
  KnownFiles::Entry* last_known_ = nullptr;    // and what it found
};

// --list in CHANGED mode: each file of `files` after a mark and a tab:
// "load" (would be loaded), "unchanged" (passed over), "empty" (passed
// over), "failed" (cannot be looked at; its rows stay); with vanished files
// deleted, "delete" lines follow for them. False (with a message shown) when
// the destination cannot be read.
bool PrintReloadList(const AppState& state, const RunFileList& files, std::ostream& out, Notifier& messages);

}  // namespace corvanne
