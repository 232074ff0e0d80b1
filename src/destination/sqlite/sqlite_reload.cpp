// Re-loads into SQLite: a file's record in the companion table, the files
// the table holds, and a file taken out of it. See sqlite_destination.hpp.
#include <filesystem>

#include "destination/identifier.hpp"
#include "destination/sqlite/sqlite_destination.hpp"
#include "destination/sqlite/sqlite_destination_impl.hpp"
#include "destination/sqlite/sqlite_file_states.hpp"

namespace corvanne {

LoadResult SqliteDestination::RecordFile(const LoadRequest& request, const FileState& state) {
  const std::string target = "database " + Quoted(db_path_) + ", file " + Quoted(state.file_name);
  if (!unit_open_ || !unit_lost_.empty()) {
    return LoadResult::Failed(kSqliteSource, target + ": no unit of the file is open to record it in");
  }
  // The unit found or made the file's row: its id finds it again.
  const std::string cause = unit_file_.id > 0
                                ? SqliteRecordOpenedFile(db_, request, state, unit_file_.id, unit_first_, unit_last_)
                                : SqliteWriteFileState(db_, request, state, unit_first_, unit_last_);
  if (!cause.empty()) return LoadResult::Failed(kSqliteSource, target + ": cannot record what was loaded: " + cause);
  unit_recorded_ = true;
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::ReadFileStates(const LoadRequest& request, const FileStateSink& each) {
  const std::string path = PathOf(request.database);
  std::error_code ignored;
  // Nothing was loaded yet; asking must not create the database.
  if (db_ == nullptr && !std::filesystem::exists(path, ignored)) return LoadResult::Loaded(0);
  const std::string target = "database " + Quoted(path);
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  if (std::string cause = SqliteReadFileStates(db_, request, each); !cause.empty()) {
    return LoadResult::Failed(kSqliteSource, target + ": cannot read what was loaded of each file: " + cause);
  }
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::ListFiles(const LoadRequest& request, const FileNameSink& each) {
  const std::string target = "database " + Quoted(PathOf(request.database));
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  if (std::string cause = SqliteListFiles(db_, request, each); !cause.empty()) {
    return LoadResult::Failed(kSqliteSource, target + ": cannot list the files in the table: " + cause);
  }
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::ForgetFile(const LoadRequest& request) {
  const std::string target = "database " + Quoted(PathOf(request.database)) +
                             ", file " + Quoted(request.file_name_value);
  if (unit_open_) return LoadResult::Failed(kSqliteSource, target + ": a unit is open");
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  LoadScope scope(db_, false);
  std::string cause = scope.Begin() ? PrepareInsert(request) : std::string(sqlite3_errmsg(db_));
  if (cause.empty()) cause = SqliteDeleteFile(db_, request, unranged_);
  if (cause.empty() && !scope.Commit()) cause = sqlite3_errmsg(db_);
  if (!cause.empty()) return LoadResult::Failed(kSqliteSource, target + ": cannot delete the file's rows: " + cause);
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states) {
  const std::string target = "database " + Quoted(PathOf(request.database));
  if (unit_open_) return LoadResult::Failed(kSqliteSource, target + ": a unit is open");
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  LoadScope scope(db_, false);
  std::string cause = scope.Begin() ? std::string() : std::string(sqlite3_errmsg(db_));
  for (auto state = states.begin(); cause.empty() && state != states.end(); ++state) {
    cause = SqliteRefreshFileState(db_, request, *state);
  }
  if (cause.empty() && !scope.Commit()) cause = sqlite3_errmsg(db_);
  if (!cause.empty()) {
    return LoadResult::Failed(kSqliteSource, target + ": cannot record the times of unchanged files: " + cause);
  }
  return LoadResult::Loaded(0);
}

}  // namespace corvanne
