// The SQLite destination's class, shared by the two files that define it:
// loads and units (sqlite_destination.cpp), re-loads (sqlite_reload.cpp).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "destination/destination.hpp"
#include "destination/sqlite/sqlite_file_states.hpp"
#include "destination/sqlite/sqlite_support.hpp"

namespace corvanne {

inline constexpr const char* kSqliteSource = "SQLite";

// A destination that loads into one SQLite database file; see
// sqlite_destination.hpp. Its re-load statements are in sqlite_reload.cpp.
class SqliteDestination final : public LoadDestination {
 public:
  explicit SqliteDestination(std::string application_folder) : application_folder_(std::move(application_folder)) {}
  ~SqliteDestination() override { static_cast<void>(Close()); }
  SqliteDestination(const SqliteDestination&) = delete;
  SqliteDestination& operator=(const SqliteDestination&) = delete;

  LoadResult Open(const LoadRequest& request) override;
  LoadResult Verify(const LoadRequest& request) override;
  LoadResult BeginUnit(const LoadRequest& request) override;
  LoadResult Load(const LoadRequest& request) override;
  LoadResult CommitUnit() override;
  void RollbackUnit() override;
  LoadResult RecordFile(const LoadRequest& request, const FileState& state) override;
  LoadResult ReadFileStates(const LoadRequest& request, const FileStateSink& each) override;
  LoadResult ListFiles(const LoadRequest& request, const FileNameSink& each) override;
  LoadResult ForgetFile(const LoadRequest& request) override;
  LoadResult RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states) override;
  LoadResult MakeDurable() override;
  LoadResult Close() override;

 private:
  // The database of `request`, opened (or kept) with the names checked;
  // failed with a description that starts with `target`.
  LoadResult Ready(const LoadRequest& request, const std::string& target);
  // Opens `path` unless it is the database already open; empty, or why not.
  std::string Connect(const std::string& path, int timeout_seconds);
  // Creates the table when missing and prepares the INSERT for it, both
  // once per connection; inside a transaction. Empty, or why not.
  std::string PrepareInsert(const LoadRequest& request);
  // Load() inside its scope.
  LoadResult LoadRows(const LoadRequest& request, const std::string& target);
  std::string Target(const LoadRequest& request);
  // SqliteDatabasePath of `database` in the application folder, worked out
  // once: normalising a path costs more than loading a marker row.
  const std::string& PathOf(const std::string& database);

  std::string application_folder_;  // resolves a relative database path
  bool names_checked_ = false;      // checked_'s names passed CheckNames
  LoadRequest checked_;             // the table and column names checked last
  bool path_known_ = false;         // path_ holds the path of path_of_
  std::string path_of_;             // the database name path_ was worked out for
  std::string path_;                // its SqliteDatabasePath
  sqlite3* db_ = nullptr;           // open connection, or nullptr
  std::string db_path_;             // file of db_
  bool wal_ = false;                // db_ runs in WAL mode
  std::string restore_mode_;        // journal mode to give back at close ("": keep WAL)
  SqliteStatement insert_;                // INSERT for insert_key_, or empty
  LoadRequest insert_key_;          // table and columns insert_ was prepared for
  int line_parameter_ = 0;          // of insert_, 0: no line column
  int file_parameter_ = 0;          // of insert_, 0: no file column
  int batch_parameter_ = 0;         // of insert_, 0: no batch column
  int id_parameter_ = 0;            // of insert_, 0: no file id column
  UnrangedRows unranged_;           // the table may hold rows outside every recorded range
  OpenedFile unit_file_;            // the open unit's companion row (id 0: none)
  bool unit_recorded_ = false;      // RecordFile wrote the open unit's companion row
  int64_t unit_first_ = 0;          // the first LineId the open unit inserted, 0: none yet
  int64_t unit_last_ = 0;           // the last
  bool unit_open_ = false;          // between BeginUnit and CommitUnit/RollbackUnit
  std::string unit_lost_;           // why the open unit's transaction is gone, or empty
};

}  // namespace corvanne
