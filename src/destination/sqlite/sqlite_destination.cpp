// Loads into a SQLite table through one prepared INSERT per connection, each
// load all or nothing, a source file's loads committed together as one unit.
#include "destination/sqlite/sqlite_destination.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"
#include "destination/identifier.hpp"
#include "destination/row_sink.hpp"
#include "destination/sqlite/sqlite_destination_impl.hpp"
#include "destination/sqlite/sqlite_file_states.hpp"
#include "destination/sqlite/sqlite_support.hpp"

namespace corvanne {
namespace {

constexpr const char* kFileSource = "Source file";
constexpr const char* kDefaultDatabase = "Corvanne.db";

// Why the configured names cannot be used, or empty. Names go into SQL
// text; only names that cannot be anything else may.
std::string CheckNames(const LoadRequest& request) {
  if (std::string problem = LoadNameProblem(request, request.table_name); !problem.empty()) return problem;
  const std::vector<std::string> parts = IdentifierParts(request.table_name);
  if (parts.size() > 1 && (TrimUpper(parts.front()) == "TEMP" || TrimUpper(parts.front()) == "TEMPORARY")) {
    // Such a table vanishes with the connection: every row reported loaded
    // would be lost when the run ends.
    return "the table " + Quoted(request.table_name) +
           " is in the temporary schema, whose rows are dropped when the run ends";
  }
  return {};
}

// The columns a load writes, quoted: the line's column first, then the
// optional ones that are configured, in a fixed order.
struct InsertShape {
  std::string table;                 // quoted table name
  std::vector<std::string> columns;  // quoted column names, line text first
  int file_parameter = 0;            // 1-based parameter of the file name, 0: none
  int line_parameter = 0;            // of the line number
  int batch_parameter = 0;           // of the batch code
  int id_parameter = 0;              // of the file id
};

InsertShape ShapeOf(const LoadRequest& request) {
  InsertShape shape;
  shape.table = QuoteIdentifier(request.table_name, QuoteStyle::kDoubleQuote);
  shape.columns.push_back(QuoteIdentifier(request.column_name, QuoteStyle::kDoubleQuote));
  const auto add = [&](const std::string& name, int& parameter) {
    if (name.empty()) return;
    shape.columns.push_back(QuoteIdentifier(name, QuoteStyle::kDoubleQuote));
    parameter = static_cast<int>(shape.columns.size());
  };
  add(request.columns.file_name, shape.file_parameter);
  add(request.columns.line_number, shape.line_parameter);
  add(request.columns.batch_code, shape.batch_parameter);
  add(request.columns.file_id, shape.id_parameter);
  return shape;
}

// The configured optional columns (name, SQL type) that `present` lacks.
std::vector<std::pair<std::string, const char*>> MissingOptionalColumns(const LoadRequest& request,
                                                                         const std::vector<std::string>& present) {
  std::vector<std::pair<std::string, const char*>> missing;
  const std::pair<const std::string*, const char*> optional[] = {
      {&request.columns.file_name, "TEXT"}, {&request.columns.line_number, "INTEGER"},
      {&request.columns.batch_code, "TEXT"}, {&request.columns.file_id, "INTEGER"}};
  for (const auto& [name, type] : optional) {
    if (name->empty()) continue;
    const std::string column = IdentifierParts(*name).back();
    if (std::find(present.begin(), present.end(), LowerAscii(column)) == present.end()) {
      missing.emplace_back(*name, type);
    }
  }
  return missing;
}

// A table of the database whose name is a slip away from `table` (letter
// case ignored), or empty: a typo would otherwise make a second table.
std::string NearTableName(sqlite3* db, const std::vector<std::string>& parts) {
  SqliteStatement tables;
  const std::string schema = parts.size() > 1 ? QuoteIdentifierPart(parts[0], QuoteStyle::kDoubleQuote) : "main";
  if (PrepareOne(db, "SELECT name FROM " + schema + ".sqlite_master WHERE type = 'table'", tables) != SQLITE_OK) {
    return {};
  }
  const std::string wanted = LowerAscii(parts.back());
  std::string nearest;
  size_t best = 0;
  while (sqlite3_step(tables.get()) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(tables.get(), 0));
    const size_t distance = EditDistance(wanted, LowerAscii(name));
    if (nearest.empty() || distance < best) {
      nearest = name;
      best = distance;
    }
  }
  return !nearest.empty() && best <= std::max<size_t>(2, wanted.size() / 6) ? nearest : std::string();
}

// A URI that opens `path` for reading without leaving anything beside it: a
// database in WAL mode that no one has open would otherwise get -wal and
// -shm files that a reader cannot remove. While such files are there, some
// other connection may be writing, and the database is read as usual.
std::string ReadOnlyUri(const std::string& path) {
  std::error_code ignored;
  const bool in_use = std::filesystem::exists(path + "-wal", ignored) || std::filesystem::exists(path + "-shm", ignored);
  std::string uri = "file:";
#ifdef _WIN32
  // A URI's separator is "/", and a drive letter follows one ("file:/C:/...").
  std::string forward = path;
  std::replace(forward.begin(), forward.end(), '\\', '/');
  if (forward.size() > 1 && forward[1] == ':') uri += '/';
#else
  const std::string& forward = path;
#endif
  for (const char c : forward) {
    // '?' and '#' end the path in a URI; '%' begins an escape.
    if (c == '?' || c == '#' || c == '%') {
      static const char* const kHex = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      uri += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + (in_use ? "?mode=ro" : "?mode=ro&immutable=1");
}

// Binds and steps the prepared INSERT once per row.
class SqliteRowSink final : public RowSink {
 public:
  SqliteRowSink(sqlite3_stmt* insert, int line_parameter) : insert_(insert), line_parameter_(line_parameter) {}
  bool Add(std::string_view text, int64_t line_number) override {
    // The row's bytes stay put until the step is done: no copy needed.
    int rc = sqlite3_bind_text64(insert_, 1, text.empty() ? "" : text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    if (rc == SQLITE_OK && line_parameter_ > 0) {
      rc = line_number > 0 ? sqlite3_bind_int64(insert_, line_parameter_, line_number)
                           : sqlite3_bind_null(insert_, line_parameter_);
    }
    if (rc == SQLITE_OK) rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    return rc == SQLITE_OK || rc == SQLITE_DONE;
  }
  bool Flush() override { return true; }

 private:
  sqlite3_stmt* insert_;
  int line_parameter_;
};

}  // namespace

const std::string& SqliteDestination::PathOf(const std::string& database) {
  if (!path_known_ || database != path_of_) {
    path_ = SqliteDatabasePath(database, application_folder_);
    path_of_ = database;
    path_known_ = true;
  }
  return path_;
}

std::string SqliteDestination::Target(const LoadRequest& request) {
  const std::string path = PathOf(request.database);
  if (request.row_text) return "database " + Quoted(path) + ", loading a marker row of " + Quoted(request.source_path);
  return "database " + Quoted(path) + ", loading " + Quoted(request.source_path);
}

std::string SqliteDestination::Connect(const std::string& path, int timeout_seconds) {
  if (db_ != nullptr && path == db_path_) return {};
  static_cast<void>(Close());
  std::error_code ignored;
  const bool existed = std::filesystem::exists(path, ignored);
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string cause = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return "cannot open database " + Quoted(path) + ": " + cause;
  }
  // Before anything else: the first pragma may already wait for another run's lock.
  sqlite3_busy_timeout(db, timeout_seconds * 1000);
  // WAL with synchronous=NORMAL makes a commit cost no fsync; Close() then
  // syncs the log once. Where WAL is refused (some file systems) every
  // commit is synced instead. A user's database gets its own mode back.
  // A database another run is creating or switching to WAL at this moment
  // answers "locked" at once, without waiting: such a pragma is asked again
  // until the busy timeout is out.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  const auto patient = [&](const char* sql) {
    for (;;) {
      std::string answer = QueryText(db, sql);
      const int code = sqlite3_errcode(db) & 0xff;
      if (!answer.empty() || (code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
          std::chrono::steady_clock::now() >= deadline) {
        return answer;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  const std::string before = existed ? patient("PRAGMA journal_mode") : std::string();
  const std::string mode = patient("PRAGMA journal_mode=WAL");
  const bool wal = mode == "wal";
  std::string cause;
  if (mode.empty() || !Exec(db, wal ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL")) {
    cause = sqlite3_errmsg(db);
  }
  if (!cause.empty()) {
    sqlite3_close(db);
    return "cannot open database " + Quoted(path) + ": " + cause;
  }
  db_ = db;
  db_path_ = path;
  wal_ = wal;
  // The mode is SQLite's own word ("delete", "truncate", ...); it goes back
  // into a pragma at close, so nothing else may pass.
  const bool word = !before.empty() && before.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
  restore_mode_ = (wal && word && before != "wal") ? before : std::string();
  return {};
}

std::string SqliteDestination::PrepareInsert(const LoadRequest& request) {
  if (insert_ && insert_key_.table_name == request.table_name && insert_key_.column_name == request.column_name &&
      insert_key_.columns == request.columns && insert_key_.load_mode == request.load_mode) {
    return {};
  }
  insert_.reset();
  const InsertShape shape = ShapeOf(request);
  const auto fail = [&](int rc) { return SqliteCause(db_, rc); };
  const auto run = [&](const std::string& sql) {
    SqliteStatement statement;
    int rc = PrepareOne(db_, sql, statement);
    if (rc == SQLITE_OK && sqlite3_step(statement.get()) != SQLITE_DONE) rc = SQLITE_ERROR;
    return rc == SQLITE_OK ? std::string() : fail(rc);
  };
  std::string definition = shape.columns[0] + " TEXT";
  std::string list = shape.columns[0];
  std::string values = "?";
  for (std::size_t i = 1; i < shape.columns.size(); ++i) {
    const int parameter = static_cast<int>(i + 1);
    const bool integer = parameter == shape.line_parameter || parameter == shape.id_parameter;
    definition += ", " + shape.columns[i] + (integer ? " INTEGER" : " TEXT");
    list += ", " + shape.columns[i];
    values += ", ?";
  }
  std::string cause = run("CREATE TABLE IF NOT EXISTS " + shape.table + " (LineId INTEGER PRIMARY KEY, " +
                          definition + ")");
  if (!cause.empty()) return cause;
  // An optional column configured after the table was made is added: its
  // earlier rows hold NULL there, as marker rows do in the line column.
  const std::vector<std::string> present = ColumnsOf(db_, IdentifierParts(request.table_name), cause);
  if (!cause.empty()) return cause;
  for (const auto& [name, type] : MissingOptionalColumns(request, present)) {
    cause = run("ALTER TABLE " + shape.table + " ADD COLUMN " +
                QuoteIdentifierPart(IdentifierParts(name).back(), QuoteStyle::kDoubleQuote) + " " + type);
    if (!cause.empty()) return cause;
  }
  // Preparing the INSERT is what names a configured column that an
  // existing table lacks.
  const int rc = PrepareOne(db_, "INSERT INTO " + shape.table + " (" + list + ") VALUES (" + values + ")", insert_);
  if (rc != SQLITE_OK) return fail(rc);
  // No index on where rows come from: it would about double the cost of
  // every row, and a re-load finds a file's rows by their LineId range.
  if (UsesCompanion(request)) {
    cause = SqliteCreateCompanion(db_, request);
    if (!cause.empty()) {
      insert_.reset();
      return cause;
    }
  } else {
    cause = SqliteForgetRanges(db_, request);
    if (!cause.empty()) {
      insert_.reset();
      return cause;
    }
  }
  insert_key_ = request;
  line_parameter_ = shape.line_parameter;
  file_parameter_ = shape.file_parameter;
  batch_parameter_ = shape.batch_parameter;
  id_parameter_ = shape.id_parameter;
  return {};
}

LoadResult SqliteDestination::Ready(const LoadRequest& request, const std::string& target) {
  // The names are the same on every load of a run: checked once.
  const bool checked = names_checked_ && request.table_name == checked_.table_name &&
                       request.column_name == checked_.column_name && request.columns == checked_.columns;
  if (!checked) {
    if (const std::string bad = CheckNames(request); !bad.empty()) {
      return LoadResult::Failed(kSqliteSource, target + ": " + bad);
    }
    checked_.table_name = request.table_name;
    checked_.column_name = request.column_name;
    checked_.columns = request.columns;
    names_checked_ = true;
  }
  const std::string path = PathOf(request.database);
  if (unit_open_ && path != db_path_) {
    return LoadResult::Failed(kSqliteSource, target + ": a unit of database " + Quoted(db_path_) + " is open");
  }
  // The cause names the database; the file it was for is in the second box.
  if (std::string cause = Connect(path, request.timeout_seconds); !cause.empty()) {
    return LoadResult::Failed(kSqliteSource, cause);
  }
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::Open(const LoadRequest& request) {
  const std::string target = "database " + Quoted(PathOf(request.database));
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  LoadScope scope(db_, unit_open_, request.row_text.has_value());
  std::string cause = scope.Begin() ? PrepareInsert(request) : std::string(sqlite3_errmsg(db_));
  if (cause.empty() && !scope.Commit()) cause = sqlite3_errmsg(db_);
  if (!cause.empty()) {
    insert_.reset();
    return LoadResult::Failed(kSqliteSource, target + ": " + cause);
  }
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::Verify(const LoadRequest& request) {
  const std::string path = PathOf(request.database);
  const std::string target = "database " + Quoted(path);
  if (const std::string bad = CheckNames(request); !bad.empty()) {
    return LoadResult::Failed(kSqliteSource, target + ": " + bad);
  }
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) {
    // The first load creates the file, but not the folder it goes in.
    const std::string folder = TextFromPath(PathFromText(path).parent_path());
    if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
      return LoadResult::Failed(kSqliteSource, target + ": the folder " + Quoted(folder) + " does not exist");
    }
    return LoadResult::Loaded(0);
  }
  sqlite3* db = nullptr;
  std::string cause;
  std::string note;  // what a run would do that may not be meant
  if (sqlite3_open_v2(ReadOnlyUri(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
    cause = db != nullptr ? sqlite3_errmsg(db) : "cannot open it";
  } else {
    sqlite3_busy_timeout(db, request.timeout_seconds * 1000);
    const std::vector<std::string> parts = IdentifierParts(request.table_name);
    const std::vector<std::string> present = ColumnsOf(db, parts, cause);
    if (!cause.empty()) {
      // reported below
    } else if (present.empty()) {
      // A missing table is made by the first load, like a missing database;
      // beside a table of a near name it is more likely a typo.
      if (const std::string near = NearTableName(db, parts); !near.empty()) {
        note = target + ": table " + parts.back() + " does not exist, but table " + near +
               " does; a run would make a new table " + parts.back() + " beside it";
      }
    } else if (std::find(present.begin(), present.end(), LowerAscii(IdentifierParts(request.column_name).back())) ==
               present.end()) {
      cause = "table " + parts.back() + " has no column named " + IdentifierParts(request.column_name).back();
    } else {
      for (const auto& [name, type] : MissingOptionalColumns(request, present)) {
        note += std::string(note.empty() ? target + ": " : "; ") + "table " + parts.back() +
                " has no column named " + IdentifierParts(name).back() + "; a run adds it";
      }
    }
  }
  sqlite3_close_v2(db);
  if (!cause.empty()) return LoadResult::Failed(kSqliteSource, target + ": " + cause);
  LoadResult verified = LoadResult::Loaded(0);
  verified.description = note;
  return verified;
}

LoadResult SqliteDestination::BeginUnit(const LoadRequest& request) {
  RollbackUnit();
  const std::string target = "database " + Quoted(PathOf(request.database)) +
                             ", file " + Quoted(request.source_path);
  LoadResult ready = Ready(request, target);
  if (!ready.ok) return ready;
  // The write lock is taken here, waiting up to the busy timeout, and held
  // until the unit ends: another run's rows never come between the file's.
  if (!ExecKept(db_, "BEGIN IMMEDIATE")) return LoadResult::Failed(kSqliteSource, target + ": " + sqlite3_errmsg(db_));
  unit_file_.id = 0;
  unit_file_.stale = false;
  unit_recorded_ = false;
  unit_first_ = 0;
  unit_last_ = 0;
  if (UsesCompanion(request)) {
    // The lock is held: no other run's unit of this file can come between
    // the delete and the new rows, and the unit's rows get LineIds in one
    // run (the range its record keeps).
    std::string cause = PrepareInsert(request);
    if (cause.empty()) cause = SqliteOpenFile(db_, request, unranged_, unit_file_);
    if (!cause.empty()) {
      if (sqlite3_get_autocommit(db_) == 0) ExecKept(db_, "ROLLBACK");
      insert_.reset();
      return LoadResult::Failed(kSqliteSource, target + ": cannot take out the file's earlier rows: " + cause);
    }
  }
  unit_open_ = true;
  unit_lost_.clear();
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::Load(const LoadRequest& request) {
  const std::string target = Target(request);
  if (unit_open_ && !unit_lost_.empty()) {
    // Loading now would commit rows outside the unit, without their partners.
    return LoadResult::Failed(kSqliteSource, target + ": not loaded, the file's unit was already rolled back");
  }
  LoadResult result = Ready(request, target);
  if (result.ok) result = LoadRows(request, target);
  if (result.ok) return result;
  // The rollback may have removed the table the statement was prepared for
  // (a new database whose first load failed).
  insert_.reset();
  if (unit_open_ && db_ != nullptr && sqlite3_get_autocommit(db_) != 0) {
    // The failure ended the unit's whole transaction, and with it the loads
    // it had kept: CommitUnit has to tell, and no later load may go in alone.
    unit_lost_ = "database " + Quoted(db_path_) + ": a failed load of " + Quoted(request.source_path) +
                 " rolled back the whole unit: " + result.description;
  }
  return result;
}

LoadResult SqliteDestination::LoadRows(const LoadRequest& request, const std::string& target) {
  const auto database_failure = [&](int64_t line, const std::string& cause) {
    const std::string where = line > 0 ? target + " line " + std::to_string(line) : target;
    return LoadResult::Failed(kSqliteSource, where + ": " + cause);
  };
  LoadScope scope(db_, unit_open_, request.row_text.has_value());
  if (!scope.Begin()) return database_failure(0, sqlite3_errmsg(db_));
  // From here the load is open; every return before the commit undoes it.
  if (std::string cause = PrepareInsert(request); !cause.empty()) return database_failure(0, cause);
  sqlite3_stmt* insert = insert_.get();
  // Values that are the same on every row of the load are bound once.
  int rc = SQLITE_OK;
  if (file_parameter_ > 0) {
    rc = sqlite3_bind_text64(insert, file_parameter_, request.file_name_value.c_str(), request.file_name_value.size(),
                             SQLITE_TRANSIENT, SQLITE_UTF8);
  }
  if (rc == SQLITE_OK && batch_parameter_ > 0) {
    rc = sqlite3_bind_text64(insert, batch_parameter_, request.batch_code_value.c_str(),
                             request.batch_code_value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
  if (rc == SQLITE_OK && id_parameter_ > 0) {
    OpenedFile file = unit_file_;
    if (!unit_open_) {
      // A load of its own adds rows beside any the file has: its record
      // keeps no range for them.
      LoadRequest alone = request;
      alone.load_mode = LoadMode::kAppend;
      std::string cause = SqliteOpenFile(db_, alone, unranged_, file);
      if (cause.empty() && file.stale) cause = SqliteMarkNotCurrent(db_, alone, file.id);
      if (!cause.empty()) return database_failure(0, cause);
    }
    rc = sqlite3_bind_int64(insert, id_parameter_, file.id);
  }
  if (rc != SQLITE_OK) return database_failure(0, sqlite3_errmsg(db_));
  SqliteRowSink sink(insert, line_parameter_);
  const FeedOutcome fed = FeedRows(request, sink);
  sqlite3_clear_bindings(insert);
  if (fed.stop == FeedOutcome::Stop::kSource) {
    if (!fed.source_opened) return LoadResult::Failed(kFileSource, fed.source_error);
    return LoadResult::Failed(kFileSource, fed.source_error + "; nothing was loaded into database " + Quoted(db_path_));
  }
  if (fed.stop == FeedOutcome::Stop::kSink) return database_failure(fed.line_number, sqlite3_errmsg(db_));
  if (!scope.Commit()) return database_failure(0, sqlite3_errmsg(db_));
  if (!unit_open_ || request.load_mode == LoadMode::kAppend) {
    // Rows outside any unit's recorded range: a re-load on this connection
    // must look for a file's rows beyond its range.
    unranged_ = {true, true};
  } else if (fed.rows > 0) {
    // The unit holds the write lock: its rows took the next LineIds, one
    // after another.
    const int64_t last = sqlite3_last_insert_rowid(db_);
    if (unit_first_ == 0) unit_first_ = last - fed.rows + 1;
    unit_last_ = last;
  }
  return LoadedFrom(fed);
}

LoadResult SqliteDestination::CommitUnit() {
  if (!unit_open_) return LoadResult::Failed(kSqliteSource, "no unit is open to be committed");
  unit_open_ = false;
  if (!unit_lost_.empty()) return LoadResult::Failed(kSqliteSource, std::exchange(unit_lost_, {}));
  // The file's row changes once per unit: the record, or else this.
  std::string cause;
  if (unit_file_.stale && !unit_recorded_) cause = SqliteMarkNotCurrent(db_, insert_key_, unit_file_.id);
  if (cause.empty() && ExecKept(db_, "COMMIT")) return LoadResult::Loaded(0);
  if (cause.empty()) cause = sqlite3_errmsg(db_);
  if (sqlite3_get_autocommit(db_) == 0) ExecKept(db_, "ROLLBACK");
  insert_.reset();
  return LoadResult::Failed(kSqliteSource, "database " + Quoted(db_path_) +
                                                 ": the file's rows could not be committed, none of them was kept: " +
                                                 cause);
}

void SqliteDestination::RollbackUnit() {
  if (!unit_open_) return;
  unit_open_ = false;
  unit_lost_.clear();
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) ExecKept(db_, "ROLLBACK");
  // The rollback may have removed the table the statement was prepared for.
  insert_.reset();
}

LoadResult SqliteDestination::MakeDurable() {
  if (db_ == nullptr || !wal_) return LoadResult::Loaded(0);
  // Commits in WAL mode with synchronous=NORMAL are durable only once the
  // log is synced: what was reported loaded must not go with the power.
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK && log != nullptr &&
      log->pMethods != nullptr && log->pMethods->xSync(log, SQLITE_SYNC_NORMAL) != SQLITE_OK) {
    return LoadResult::Failed(kSqliteSource, "database " + Quoted(db_path_) + ": cannot sync its write-ahead log");
  }
  return LoadResult::Loaded(0);
}

LoadResult SqliteDestination::Close() {
  if (db_ == nullptr) return LoadResult::Loaded(0);
  // An unfinished unit is never committed by accident.
  RollbackUnit();
  const LoadResult synced = MakeDurable();
  std::string cause = synced.ok ? std::string() : "cannot sync its write-ahead log";
  insert_.reset();
  ForgetKept(db_);
  if (!restore_mode_.empty() && cause.empty()) {
    // The log is folded into the database file by the mode change. Another
    // connection still open keeps the database in WAL: that is not worth
    // waiting for, so the mode is then left as it is.
    sqlite3_busy_timeout(db_, 0);
    Exec(db_, ("PRAGMA journal_mode=" + restore_mode_).c_str());
  }
  // The last connection to close also copies the log into the database
  // file and removes it.
  if (sqlite3_close_v2(db_) != SQLITE_OK && cause.empty()) cause = "cannot close it";
  const std::string path = std::exchange(db_path_, {});
  db_ = nullptr;
  wal_ = false;
  unranged_ = {};
  restore_mode_.clear();
  if (!cause.empty()) return LoadResult::Failed(kSqliteSource, "database " + Quoted(path) + ": " + cause);
  return LoadResult::Loaded(0);
}

std::string SqliteDatabasePath(const std::string& database, const std::string& application_folder) {
  return ResolveFrom(application_folder, database.empty() ? std::string(kDefaultDatabase) : database);
}

std::unique_ptr<LoadDestination> MakeSqliteDestination(const std::string& application_folder) {
  return std::make_unique<SqliteDestination>(application_folder);
}

}  // namespace corvanne
