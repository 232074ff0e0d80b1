// Loads files into a SQLite table through one prepared INSERT per connection,
// each load all or nothing; a group of loads shares one transaction.
#include "loader/sqlite_destination.hpp"

#include <sqlite3.h>

#include <string_view>
#include <utility>

#include "common/file_utils.hpp"
#include "loader/identifier.hpp"
#include "loader/line_reader.hpp"

namespace corvanne {
namespace {

constexpr const char* kDatabaseSource = "SQLite";
constexpr const char* kFileSource = "Source file";
constexpr const char* kDefaultDatabase = "Corvanne.db";

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

LoadResult Failure(const char* source, std::string description) {
  LoadResult result;
  result.ok = false;
  result.source = source;
  result.description = std::move(description);
  return result;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// SQLite reads "[...]" as quoting but knows no "]]" escape inside it; such a
// name is handed over in double quotes, which mean the same name.
std::string SqliteName(const std::string& name) {
  return name.find("]]") == std::string::npos ? name : RequoteIdentifier(name, "\"");
}

// Prepares exactly one statement: text after it would be a second statement
// smuggled in, and is refused.
int PrepareOne(sqlite3* db, const std::string& sql, Statement& statement) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw,
                                    &tail);
  statement.reset(raw);
  if (rc != SQLITE_OK) return rc;
  if (std::string_view(tail).find_first_not_of(" \t\r\n") != std::string_view::npos || raw == nullptr) {
    statement.reset();
    return SQLITE_MISUSE;
  }
  return SQLITE_OK;
}

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// Makes one load all-or-nothing: its own write transaction, or, inside a
// group's open transaction, a savepoint. Until Commit() succeeds, leaving the
// scope undoes the load and nothing else.
class LoadScope {
 public:
  LoadScope(sqlite3* db, bool nested) : db_(db), nested_(nested) {}
  ~LoadScope() {
    if (open_) Undo();
  }
  LoadScope(const LoadScope&) = delete;
  LoadScope& operator=(const LoadScope&) = delete;

  // A transaction takes the write lock at once, waiting up to the busy
  // timeout for it; a savepoint has the group's lock already.
  bool Begin() {
    open_ = Exec(db_, nested_ ? "SAVEPOINT corvanne_load" : "BEGIN IMMEDIATE");
    return open_;
  }
  bool Commit() {
    if (!Exec(db_, nested_ ? "RELEASE corvanne_load" : "COMMIT")) return false;
    open_ = false;
    return true;
  }

 private:
  void Undo() {
    // Some errors (I/O, a full disk, a trigger's RAISE(ROLLBACK)) end the
    // whole transaction by themselves; there is nothing left to undo then.
    if (sqlite3_get_autocommit(db_) != 0) return;
    if (!nested_) {
      Exec(db_, "ROLLBACK");
    } else if (Exec(db_, "ROLLBACK TO corvanne_load")) {
      // Rolling back to a savepoint keeps it open; the group goes on without it.
      Exec(db_, "RELEASE corvanne_load");
    }
  }

  sqlite3* db_;
  bool nested_;        // a savepoint inside the group's transaction
  bool open_ = false;  // begun, and neither committed nor undone
};

class SqliteDestination final : public LoadDestination {
 public:
  explicit SqliteDestination(std::string application_folder) : application_folder_(std::move(application_folder)) {}
  ~SqliteDestination() override { Disconnect(); }
  SqliteDestination(const SqliteDestination&) = delete;
  SqliteDestination& operator=(const SqliteDestination&) = delete;

  LoadResult Load(const LoadRequest& request) override;
  void BeginGroup() override { grouping_ = true; }
  LoadResult EndGroup() override;
  void Close() override { Disconnect(); }

 private:
  // Load() without the bookkeeping that follows a failure.
  LoadResult LoadFile(const LoadRequest& request);
  // Commits the group's transaction if one is open; the failure's
  // description, or empty when committed (or nothing was open).
  std::string CommitGroup();
  // Opens `path` unless it is the database already open; false with
  // `failure` set when it cannot be opened or set up.
  bool Connect(const std::string& path, LoadResult& failure);
  // Creates the table when missing and prepares the INSERT for it, both
  // once per connection; inside the load's transaction.
  // Returns false with `cause` set when either fails.
  bool PrepareInsert(const LoadRequest& request, std::string& cause);
  // Closes the connection, everything committed made durable first.
  void Disconnect();
  // Forces the write-ahead log to disk: commits in WAL mode with
  // synchronous=NORMAL are durable only once the log is synced.
  void SyncLog();

  std::string application_folder_;  // resolves a relative database path
  sqlite3* db_ = nullptr;           // open connection, or nullptr
  std::string db_path_;             // file of db_
  bool wal_ = false;                // db_ runs in WAL mode
  Statement insert_;                // INSERT of insert_table_/insert_column_, or empty
  std::string insert_table_;        // table of insert_ as configured
  std::string insert_column_;       // column of insert_ as configured
  bool grouping_ = false;           // between BeginGroup and EndGroup
  bool group_open_ = false;         // the group's transaction is open on db_
  int64_t group_loads_ = 0;         // loads kept so far in that transaction
  std::string group_lost_;          // why loads of this group reported ok were lost, or empty
};

bool SqliteDestination::Connect(const std::string& path, LoadResult& failure) {
  if (db_ != nullptr && path == db_path_) return true;
  Disconnect();
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::string cause;
  if (rc != SQLITE_OK) {
    cause = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  } else {
    // WAL with synchronous=NORMAL makes a commit cost no fsync; Close() then
    // syncs the log once. Where WAL is refused (some file systems) every
    // commit is synced instead.
    sqlite3_stmt* mode = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &mode, nullptr) == SQLITE_OK &&
        sqlite3_step(mode) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(mode, 0));
      wal_ = text != nullptr && std::string_view(text) == "wal";
    }
    const int mode_rc = sqlite3_finalize(mode);
    if (mode_rc != SQLITE_OK ||
        sqlite3_exec(db, wal_ ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
      cause = sqlite3_errmsg(db);
    }
  }
  if (!cause.empty()) {
    sqlite3_close(db);
    wal_ = false;
    failure = Failure(kDatabaseSource, "cannot open database " + Quoted(path) + ": " + cause);
    return false;
  }
  db_ = db;
  db_path_ = path;
  return true;
}

bool SqliteDestination::PrepareInsert(const LoadRequest& request, std::string& cause) {
  if (insert_ && insert_table_ == request.table_name && insert_column_ == request.column_name) return true;
  insert_.reset();
  const std::string table = SqliteName(request.table_name);
  const std::string column = SqliteName(request.column_name);
  const auto fail = [&](int rc) {
    // PrepareOne refuses a second statement without SQLite having an error.
    cause = rc == SQLITE_MISUSE ? "the names do not make one statement" : sqlite3_errmsg(db_);
    return false;
  };
  {
    Statement create;
    const int rc = PrepareOne(
        db_, "CREATE TABLE IF NOT EXISTS " + table + " (LineId INTEGER PRIMARY KEY, " + column + " TEXT)", create);
    if (rc != SQLITE_OK) return fail(rc);
    if (sqlite3_step(create.get()) != SQLITE_DONE) return fail(SQLITE_ERROR);
  }
  const int rc = PrepareOne(db_, "INSERT INTO " + table + " (" + column + ") VALUES (?)", insert_);
  if (rc != SQLITE_OK) return fail(rc);
  insert_table_ = request.table_name;
  insert_column_ = request.column_name;
  return true;
}

LoadResult SqliteDestination::Load(const LoadRequest& request) {
  LoadResult result = LoadFile(request);
  if (result.ok) {
    if (group_open_) ++group_loads_;
    return result;
  }
  // The rollback may have removed the table the statement was prepared for
  // (a new database whose first load failed).
  insert_.reset();
  if (group_open_ && sqlite3_get_autocommit(db_) != 0) {
    // The failure ended the group's whole transaction: the loads it had kept
    // are gone too, which EndGroup has to tell. The next load opens a new one.
    if (group_loads_ > 0 && group_lost_.empty()) {
      group_lost_ = "database " + Quoted(db_path_) + ": a failed load of " + Quoted(request.source_path) +
                    " rolled back the whole transaction, and with it " + std::to_string(group_loads_) +
                    " load(s) before it that had succeeded: " + result.description;
    }
    group_open_ = false;
    group_loads_ = 0;
  }
  return result;
}

LoadResult SqliteDestination::LoadFile(const LoadRequest& request) {
  const std::string path = SqliteDatabasePath(request.database, application_folder_);
  const std::string target = "database " + Quoted(path) + ", loading " + Quoted(request.source_path);
  // Names go into SQL text; only names that cannot be anything else may.
  for (const auto& [what, name] : {std::pair{"table", &request.table_name}, {"column", &request.column_name}}) {
    if (!IsIdentifier(*name)) {
      return Failure(kDatabaseSource, target + ": the " + what + " name " + Quoted(*name) + " is not a valid name");
    }
  }
  LineReader reader(request.source_path, request.row_delimiter, request.max_line_bytes);
  if (!reader.Open()) return Failure(kFileSource, reader.Error());
  LoadResult result;
  if (!Connect(path, result)) return result;
  sqlite3_busy_timeout(db_, request.timeout_seconds * 1000);

  const auto database_failure = [&](int64_t line, const std::string& cause) {
    const std::string where = line > 0 ? target + " line " + std::to_string(line) : target;
    // The statement may belong to a table that the rollback removes again.
    insert_.reset();
    return Failure(kDatabaseSource, where + ": " + cause);
  };
  if (grouping_ && !group_open_) {
    // Opened by the group's first load, when the database is known; a group
    // whose BEGIN fails has each of its loads try again.
    if (!Exec(db_, "BEGIN IMMEDIATE")) return database_failure(0, sqlite3_errmsg(db_));
    group_open_ = true;
  }
  LoadScope scope(db_, group_open_);
  if (!scope.Begin()) return database_failure(0, sqlite3_errmsg(db_));
  // From here the load is open; every return before the commit undoes it.
  std::string cause;
  if (!PrepareInsert(request, cause)) return database_failure(0, cause);

  sqlite3_stmt* insert = insert_.get();
  std::string_view line;
  int64_t rows = 0;
  while (reader.Next(line)) {
    // The row's bytes stay put until the step is done: no copy needed.
    sqlite3_bind_text64(insert, 1, line.empty() ? "" : line.data(), line.size(), SQLITE_STATIC, SQLITE_UTF8);
    const int rc = sqlite3_step(insert);
    if (rc != SQLITE_DONE) return database_failure(reader.LineNumber(), sqlite3_errmsg(db_));
    sqlite3_reset(insert);
    ++rows;
  }
  sqlite3_clear_bindings(insert);
  if (!reader.Error().empty()) {
    return Failure(kFileSource, reader.Error() + "; nothing was loaded into database " + Quoted(path));
  }
  if (!scope.Commit()) return database_failure(0, sqlite3_errmsg(db_));
  result.rows = rows;
  return result;
}

std::string SqliteDestination::CommitGroup() {
  if (!group_open_) return {};
  group_open_ = false;
  group_loads_ = 0;
  if (Exec(db_, "COMMIT")) return {};
  const std::string cause = sqlite3_errmsg(db_);
  if (sqlite3_get_autocommit(db_) == 0) Exec(db_, "ROLLBACK");
  insert_.reset();
  return "database " + Quoted(db_path_) + ": the loads of this group could not be committed, none of them was kept: " +
         cause;
}

LoadResult SqliteDestination::EndGroup() {
  grouping_ = false;
  std::string failure = CommitGroup();
  if (failure.empty()) failure = group_lost_;
  group_lost_.clear();
  if (failure.empty()) return {};
  return Failure(kDatabaseSource, std::move(failure));
}

void SqliteDestination::SyncLog() {
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK && log != nullptr &&
      log->pMethods != nullptr) {
    log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
  }
}

void SqliteDestination::Disconnect() {
  if (db_ == nullptr) return;
  // What was reported loaded must not go with the connection; EndGroup, if
  // it still comes, tells of a commit that failed here.
  const std::string failed = CommitGroup();
  if (!failed.empty()) group_lost_ = failed;
  if (wal_) SyncLog();
  insert_.reset();
  // The last connection to close also copies the log into the database
  // file and removes it.
  sqlite3_close_v2(db_);
  db_ = nullptr;
  db_path_.clear();
  wal_ = false;
}

}  // namespace

std::string SqliteDatabasePath(const std::string& database, const std::string& application_folder) {
  return ResolveFrom(application_folder, database.empty() ? std::string(kDefaultDatabase) : database);
}

std::unique_ptr<LoadDestination> MakeSqliteDestination(const std::string& application_folder) {
  return std::make_unique<SqliteDestination>(application_folder);
}

}  // namespace corvanne
