// Re-load runs: which files to load again, what to record of them, and
// which rows to take out. See reload.hpp.
#include "run/reload.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "common/platform.hpp"
#include "discovery/folder_reader.hpp"
#include "discovery/walk.hpp"
#include "run/file_fingerprint.hpp"

namespace corvanne {

namespace {

// Unchanged files whose times are recorded anew in one transaction: few
// enough to hold, many enough that a first run over a fresh tree is not a
// transaction per file.
constexpr std::size_t kUnchangedBatch = 500;

// Stored names use the separator of the platform that walked the tree.
constexpr char kSeparator = kPathSeparator;

std::string ParentOf(const std::string& name) {
  const std::size_t cut = name.rfind(kSeparator);
  if (cut == std::string::npos) return {};
  return cut == 0 ? name.substr(0, 1) : name.substr(0, cut);
}

bool IsUnder(const std::string& name, const std::string& folder) {
  if (folder.empty() || name.size() <= folder.size() || name.compare(0, folder.size(), folder) != 0) return false;
  return folder.back() == kSeparator || name[folder.size()] == kSeparator;
}

// The stored names of the files in a folder as it is now, each folder read
// once however many of its recorded files are looked for.
class FoldersNow {
 public:
  explicit FoldersNow(const RunPlan& plan) : plan_(plan) {}
  // True when the folder at `folder_path` holds, right now, a file whose
  // stored name is `name`; also true when that cannot be told.
  bool MayHold(const std::string& folder_path, const std::string& name) {
    auto [entry, fresh] = names_.try_emplace(folder_path);
    if (fresh) entry->second = Read(folder_path);
    return !entry->second || entry->second->count(name) != 0;
  }

 private:
  // nullopt: the folder could not be listed.
  std::optional<std::set<std::string>> Read(const std::string& folder_path) const {
    FolderListing listing;
    try {
      if (!ReadFolder(folder_path, listing)) return std::set<std::string>();
    } catch (const WalkError&) {
      return std::nullopt;  // cannot tell: its files stay
    }
    std::set<std::string> names;
    for (const std::string& file : listing.files) {
      names.insert(NormalisedName(FileNameText(ChildPath(folder_path, file), plan_)));
    }
    return names;
  }

  const RunPlan& plan_;
  std::map<std::string, std::optional<std::set<std::string>>> names_;  // by the folder's path
};

}  // namespace

std::string NormalisedName(const std::string& text) {
  if (text.empty()) return text;
  std::string normal = TextFromPath(PathFromText(text).lexically_normal());
  while (normal.size() > 1 && normal.back() == kSeparator) normal.pop_back();
  return normal;
}

bool CheckLoadMode(const DestinationSettings& destination, LoadMode& mode, std::string& reason) {
  if (!ParseLoadMode(destination.LoadMode, mode)) {
    reason = "unknown DESTINATION_LOAD_MODE \"" + destination.LoadMode + "\"; use APPEND, REPLACE or CHANGED";
    return false;
  }
  if (mode != LoadMode::kAppend && destination.FileNameColumnName.empty() && destination.FileIdColumnName.empty()) {
    reason = "DESTINATION_LOAD_MODE \"" + destination.LoadMode +
             "\" needs DESTINATION_FILE_NAME_COLUMN_NAME or DESTINATION_FILE_ID_COLUMN_NAME: a file's earlier rows "
             "are found by one of them";
    return false;
  }
  if (mode == LoadMode::kAppend && destination.DeleteVanishedFiles) {
    reason = "DESTINATION_DELETE_VANISHED_FILES_YES_NO is YES, which needs DESTINATION_LOAD_MODE REPLACE or "
             "CHANGED";
    return false;
  }
  return true;
}

Reload::Reload(LoadEngine& engine, const AppState& state, const RunPlan& plan)
    : engine_(engine), state_(state), plan_(plan) {}

bool Reload::Start(std::string& error) {
  last_name_.clear();
  last_known_ = nullptr;
  known_.Clear();
  // Each row is kept compactly as it is read: the rows are never all held.
  const LoadResult read =
      engine_.ReadFileStates(state_, [this](const FileState& state) { known_.AddRecorded(state); });
  known_.Seal();
  if (!read.ok) {
    known_.Clear();
    error = read.source + ": " + read.description;
    return false;
  }
  // Names with rows but no record (an APPEND load, say) can be vanished too.
  if (!state_.Destination.DeleteVanishedFiles) return true;
  const LoadResult listed = engine_.ListFiles(state_, [this](const std::string& name) { known_.AddName(name); });
  known_.Seal();
  if (!listed.ok) {
    known_.Clear();
    error = listed.source + ": " + listed.description;
    return false;
  }
  return true;
}

void Reload::RecordUnchanged(bool all) {
  if (unchanged_.empty() || (!all && unchanged_.size() < kUnchangedBatch)) return;
  engine_.RefreshFileStates(state_, unchanged_);
  unchanged_.clear();
}

void Reload::Saw(const std::string& text) {
  // DecideLoad comes next for the same file, most of the time.
  last_name_.assign(text);
  last_known_ = known_.Find(text);
  if (last_known_ != nullptr) last_known_->seen = true;
}

int64_t Reload::TrustedNow(const std::string& path, const FileLook& look) {
  auto [clock, fresh] = clocks_.try_emplace(look.device);
  if (fresh) clock->second.local = StampsWithLocalClock(path);
  clock->second.newest = std::max(clock->second.newest, look.modified_ns);
  const int64_t now = NowNanoseconds();
  // A local disk's times are this machine's clock.
  if (clock->second.local) return now;
  // A share's clock may run behind this machine's: a file written there a
  // moment ago then looks minutes old by the local clock. No file system
  // stamps a write later than its own now, so the newest time seen on it is
  // a now that is never ahead of it; the local clock is, when it runs behind.
  return std::min(now, clock->second.newest);
}

bool Reload::DecideLoad(const std::string& path, const std::string& text, const FileLook& look) {
  pending_ = FileState{};
  pending_.file_name = text;
  pending_.size = look.size;
  pending_.modified_time = look.modified_ns;
  pending_.checked_time = TrustedNow(path, look);
  std::string error;
  const KnownFiles::Entry* known = text == last_name_ ? last_known_ : known_.Find(text);
  if (plan_.load_mode == LoadMode::kChanged && known != nullptr && known->recorded && known->hashed &&
      TimeVouches(known->size, known->modified_time, known->checked_time, look.size, look.modified_ns)) {
    return false;  // the common case of a re-run, decided without a copy
  }
  FileState now = pending_;
  now.file_name = path;  // IsAsRecorded reads the file by this name
  if (plan_.load_mode == LoadMode::kChanged && known != nullptr && known->recorded) {
    FileState recorded = known_.StateOf(*known);
    if (IsAsRecorded(recorded, now, error)) {
      // Read to tell (its time could not vouch for it), and its time can
      // from now on: the record says so, or every run would read it again.
      if (!now.content_hash.empty() && now.modified_time < now.checked_time - kUnreliableTimeNanoseconds &&
          unchanged_.size() < kUnchangedBatch) {
        recorded.modified_time = now.modified_time;
        recorded.checked_time = now.checked_time;
        unchanged_.push_back(std::move(recorded));
      }
      return false;
    }
  }
  // Hashed before the load: an edit during the load leaves a hash that does
  // not match the file, so the next run loads it again rather than missing it.
  if (now.content_hash.empty() && !HashFile(path, now.content_hash, error)) now.content_hash.clear();
  pending_.content_hash = now.content_hash;
  return true;
}

bool Reload::Record(FileUnit& unit, const std::string& text, int64_t lines) {
  if (pending_.file_name != text || pending_.content_hash.empty()) {
    // Nothing trustworthy to record: the next run loads the file again.
    return true;
  }
  FileState state = pending_;
  state.line_count = lines;
  state.batch_code = state_.Run.BatchCode;
  return unit.Record(state).ok;
}

bool Reload::ForgetEmptied(const std::string& text) {
  const KnownFiles::Entry* known = known_.Find(text);
  if (known == nullptr || !known->recorded) return false;
  return engine_.ForgetFile(state_, text).ok;
}

VanishedFiles Reload::FindVanished(const RunFileList& list) const {
  VanishedFiles result;
  if (list.listed.empty() || known_.Empty()) return result;
  const auto text_of = [&](const std::string& path) { return NormalisedName(FileNameText(path, plan_)); };
  std::map<std::string, std::string> searched;  // stored name of the folder -> its path
  for (const std::string& folder : list.searched) searched.emplace(text_of(folder), folder);

  // A listed folder that yielded nothing while files are recorded under it
  // is not there as far as this run can tell: an unmounted share leaves an
  // empty mount point behind, and a typo leaves nothing at all.
  std::vector<std::string> unavailable;
  for (const std::string& folder : list.listed) {
    std::string listed_path = folder;
    while (listed_path.size() > 1 && listed_path.back() == kSeparator) listed_path.pop_back();
    const bool yielded = std::any_of(list.files.begin(), list.files.end(),
                                     [&](const std::string& path) { return IsUnder(path, listed_path); });
    const std::string listed = text_of(folder);
    const auto& entries = known_.Entries();
    if (!yielded && std::any_of(entries.begin(), entries.end(), [&](const KnownFiles::Entry& known) {
          return IsUnder(NormalisedName(known_.NameOf(known)), listed);
        })) {
      unavailable.push_back(listed);
    }
  }
  result.unavailable = unavailable;

  const FileFilter filter(plan_.selection.extensions, plan_.source.exclusions);
  FoldersNow now(plan_);
  for (const KnownFiles::Entry& known : known_.Entries()) {
    if (known.seen) continue;
    const std::string recorded = known_.NameOf(known);
    const std::string name = NormalisedName(recorded);
    // Only where this run looked, and only what this run would select: other
    // folders, and another configuration's extensions, are not this run's.
    const auto folder = searched.find(ParentOf(name));
    if (folder == searched.end() || !filter.Selects(name)) continue;
    if (std::any_of(unavailable.begin(), unavailable.end(),
                    [&](const std::string& listed) { return IsUnder(name, listed); })) {
      continue;
    }
    // An older spelling of a name goes whether its file is there (its rows
    // are then a second copy) or not; a name as spelled today only when its
    // file is still not there.
    if (name == recorded && now.MayHold(folder->second, name)) continue;
    result.names.push_back(recorded);
  }
  std::sort(result.names.begin(), result.names.end());
  return result;
}

int64_t Reload::DeleteVanished(const RunFileList& list, int64_t& failed) {
  if (!state_.Destination.DeleteVanishedFiles) return 0;
  const VanishedFiles vanished = FindVanished(list);
  for (const std::string& folder : vanished.unavailable) {
    engine_.Warn("the folder \"" + folder +
                 "\" yielded no file while the table holds files recorded under it; it is taken as not there (an "
                 "unmounted share?) and none of its files was deleted");
  }
  int64_t deleted = 0;
  for (const std::string& name : vanished.names) {
    // Looked at once more right before it goes: a file that came back (or
    // that another run loaded meanwhile) keeps its rows.
    const FileLook look = LookAtFile(name);
    if (look.kind != FileLook::Kind::kMissing && NormalisedName(name) == name) continue;
    if (engine_.ForgetFile(state_, name).ok) {
      ++deleted;
    } else {
      ++failed;
    }
  }
  return deleted;
}

bool PrintReloadList(const AppState& state, const RunFileList& files, std::ostream& out, Notifier& messages) {
  LoadEngine engine(messages, ApplicationFolder(state));
  std::string error;
  const RunPlan* plan = engine.Plan(state, error);
  if (plan == nullptr) {
    messages.Show(Message{"cannot tell which files changed: " + error, kApplicationTitle, MessageIcon::kCritical});
    return false;
  }
  Reload reload(engine, state, *plan);
  if (!reload.Start(error)) {
    messages.Show(Message{"cannot tell which files changed: " + error, kApplicationTitle, MessageIcon::kCritical});
    return false;
  }
  for (const std::string& path : files.files) {
    reload.Saw(FileNameText(path, *plan));
    const FileLook look = LookAtFile(path);
    const char* mark = !look.IsRegular()  ? "failed"
                       : look.size == 0   ? "empty"
                       : reload.DecideLoad(path, FileNameText(path, *plan), look) ? "load"
                                                                                              : "unchanged";
    out << mark << '\t' << path << '\n';
  }
  if (state.Destination.DeleteVanishedFiles) {
    const VanishedFiles vanished = reload.FindVanished(files);
    for (const std::string& name : vanished.names) out << "delete\t" << name << '\n';
  }
  return engine.Close().ok;
}

}  // namespace corvanne
