// Re-load runs: which files to load again, what to record of them, and
// which rows to take out. See reload.hpp.
#include "run/reload.hpp"

#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "common/platform.hpp"
#include "run/file_fingerprint.hpp"

namespace corvanne {

namespace {

// True when the walk of `listed` (recursing or not) could reach `path`:
// below a listed folder that exists, at any depth when recursing (the walk
// then takes the folders below, not the listed one itself), else directly
// in it. A listed folder that is missing (an unmounted share, a typo) puts
// nothing in reach: its files must not be taken for vanished.
bool InReach(const std::string& path, const ItemList& listed, bool recurse) {
  for (const std::string& folder : listed) {
    if (folder.empty()) continue;
    std::string prefix = folder;
    if (prefix.back() != kPathSeparator) prefix += kPathSeparator;
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code ignored;
    if (!std::filesystem::is_directory(folder, ignored)) continue;
    const bool deeper = path.find(kPathSeparator, prefix.size()) != std::string::npos;
    if (deeper == recurse) return true;
  }
  return false;
}

}  // namespace

bool CheckLoadMode(const DestinationSettings& destination, LoadMode& mode, std::string& reason) {
  if (!ParseLoadMode(destination.LoadMode, mode)) {
    reason = "unknown DESTINATION_LOAD_MODE \"" + destination.LoadMode + "\"; use APPEND, REPLACE or CHANGED";
    return false;
  }
  if (mode != LoadMode::kAppend && destination.FileNameColumnName.empty()) {
    reason = "DESTINATION_LOAD_MODE \"" + destination.LoadMode +
             "\" needs DESTINATION_FILE_NAME_COLUMN_NAME: a file's earlier rows are found by that column";
    return false;
  }
  if (mode == LoadMode::kAppend && destination.DeleteVanishedFiles) {
    reason = "DESTINATION_DELETE_VANISHED_FILES_YES_NO is YES, which needs DESTINATION_LOAD_MODE REPLACE or "
             "CHANGED";
    return false;
  }
  return true;
}

Reload::Reload(LoadEngine& engine, const AppState& state, LoadMode mode)
    : engine_(engine), state_(state), mode_(mode) {}

bool Reload::Start(std::string& error) {
  std::vector<FileState> states;
  const LoadResult read = engine_.ReadFileStates(state_, states);
  if (!read.ok) {
    error = read.source + ": " + read.description;
    return false;
  }
  known_.clear();
  known_.reserve(states.size());
  for (FileState& state : states) {
    std::string name = state.file_name;
    known_.emplace(std::move(name), std::move(state));
  }
  return true;
}

int64_t Reload::Look(const std::string& path) {
  pending_ = FileState{};
  std::string error;
  ReadFingerprint(path, pending_, error);
  return pending_.size;
}

bool Reload::NeedsLoad(const std::string& path) {
  // A file that cannot be read is loaded all the same: the load reports it.
  if (pending_.file_name != path && Look(path) < 0) return true;
  if (pending_.size < 0) return true;
  std::string error;
  const auto known = known_.find(path);
  if (mode_ == LoadMode::kChanged && known != known_.end() && IsAsRecorded(known->second, pending_, error)) {
    return false;
  }
  // Hashed before the load: an edit during the load leaves a hash that does
  // not match the file, so the next run loads it again rather than missing it.
  if (pending_.content_hash.empty() && !HashFile(path, pending_.content_hash, error)) pending_.content_hash.clear();
  return true;
}

bool Reload::Record(const SourceSettings& source, int64_t lines) {
  if (pending_.file_name != source.FileNameWithPath || pending_.content_hash.empty()) {
    // Nothing trustworthy to record: the next run loads the file again.
    return true;
  }
  FileState state = pending_;
  state.line_count = lines;
  state.batch_code = state_.Run.BatchCode;
  return engine_.RecordFile(state_, source, state).ok;
}

bool Reload::Emptied(const std::string& path) {
  if (known_.count(path) == 0) return false;
  return engine_.ForgetFile(state_, path).ok;
}

ItemList Reload::Vanished(const SourceSettings& configured, const ItemList& files, std::string& error) {
  ItemList vanished;
  const ItemList listed = ListedFolders(configured, ApplicationFolder(state_));
  if (listed.empty()) return vanished;
  std::vector<std::string> names;
  const LoadResult read = engine_.ListFiles(state_, names);
  if (!read.ok) {
    error = read.source + ": " + read.description;
    return vanished;
  }
  const std::set<std::string> selected(files.begin(), files.end());
  for (std::string& name : names) {
    if (selected.count(name) == 0 && InReach(name, listed, !configured.AvoidRecursion)) {
      vanished.push_back(std::move(name));
    }
  }
  return vanished;
}

int64_t Reload::DeleteVanished(const SourceSettings& configured, const ItemList& files, int64_t& failed) {
  if (!state_.Destination.DeleteVanishedFiles) return 0;
  std::string error;
  const ItemList vanished = Vanished(configured, files, error);
  if (!error.empty()) {
    ++failed;  // reported by the engine
    return 0;
  }
  int64_t deleted = 0;
  for (const std::string& path : vanished) {
    if (engine_.ForgetFile(state_, path).ok) {
      ++deleted;
    } else {
      ++failed;
    }
  }
  return deleted;
}

bool PrintReloadList(const AppState& state, const ItemList& files, std::ostream& out, Notifier& messages) {
  LoadEngine engine(messages, ApplicationFolder(state));
  Reload reload(engine, state, LoadMode::kChanged);
  std::string error;
  if (!reload.Start(error)) {
    messages.Show(Message{"cannot tell which files changed: " + error, kApplicationTitle, MessageIcon::kCritical});
    return false;
  }
  for (const std::string& path : files) {
    const char* mark = reload.Look(path) == 0 ? "empty" : reload.NeedsLoad(path) ? "load" : "unchanged";
    out << mark << '\t' << path << '\n';
  }
  if (state.Destination.DeleteVanishedFiles) {
    for (const std::string& path : reload.Vanished(state.ConfiguredSource, files, error)) {
      out << "delete\t" << path << '\n';
    }
    if (!error.empty()) {
      messages.Show(Message{"cannot tell which files vanished: " + error, kApplicationTitle, MessageIcon::kCritical});
      return false;
    }
  }
  return engine.Close().ok;
}

}  // namespace corvanne
