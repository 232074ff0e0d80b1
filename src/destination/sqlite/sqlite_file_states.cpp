// The companion table of a SQLite destination; see sqlite_file_states.hpp.
// File names are always bound, never put into the SQL text.
#include "destination/sqlite/sqlite_file_states.hpp"

#include <algorithm>

#include "destination/identifier.hpp"
#include "destination/sqlite/sqlite_support.hpp"

namespace corvanne {

namespace {

// `name` of `table`, quoted, worked out once per table name: every file's
// statements name the two tables, and working a name out costs more than
// the statement it goes into.
const std::string& QuotedOnce(const std::string& table, std::string (*name)(const std::string&),
                              std::string& cached_for, std::string& quoted) {
  if (quoted.empty() || cached_for != table) {
    quoted = QuoteIdentifier(name(table), QuoteStyle::kDoubleQuote);
    cached_for = table;
  }
  return quoted;
}

const std::string& Companion(const LoadRequest& request) {
  thread_local std::string cached_for;
  thread_local std::string quoted;
  return QuotedOnce(request.table_name, CompanionTableName, cached_for, quoted);
}

const std::string& Table(const LoadRequest& request) {
  thread_local std::string cached_for;
  thread_local std::string quoted;
  return QuotedOnce(
      request.table_name, [](const std::string& table) { return table; }, cached_for, quoted);
}

// The last part of `name`, quoted: what a view's body may name (a view sees
// only the tables of its own schema, and names them bare).
std::string LastPart(const std::string& name) {
  return QuoteIdentifierPart(IdentifierParts(name).back(), QuoteStyle::kDoubleQuote);
}

// Steps a kept statement that writes, once its values are `bound`, and makes
// it ready for its next use. Empty, or why not; `changed` gets the rows it
// changed when given.
std::string StepKept(sqlite3* db, sqlite3_stmt* statement, bool bound, int* changed = nullptr) {
  const bool done = bound && sqlite3_step(statement) == SQLITE_DONE;
  std::string cause = done ? std::string() : std::string(sqlite3_errmsg(db));
  if (changed != nullptr) *changed = done ? sqlite3_changes(db) : 0;
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  return cause;
}

// Into `text`, whose room is reused row after row.
void ReadText(sqlite3_stmt* statement, int column, std::string& text) {
  const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (value == nullptr) {
    text.clear();
  } else {
    text.assign(value, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  }
}

bool BindText(sqlite3_stmt* statement, int parameter, const std::string& text) {
  return sqlite3_bind_text64(statement, parameter, text.c_str(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) ==
         SQLITE_OK;
}

// The companion row of a file as a unit finds it.
struct FileRow {
  bool found = false;
  int64_t id = 0;
  int64_t size = -1;
  int64_t first = 0;  // 0: no range recorded
  int64_t last = 0;
};

// Runs the kept statement of `sql` with ?1 the file's name, ?2 its id and
// ?3, ?4 a LineId range, as far as `sql` uses them. Empty, or why not.
std::string RunKept(sqlite3* db, const std::string& sql, const std::string& name, int64_t id = 0, int64_t first = 0,
                    int64_t last = 0, FileRow* row = nullptr) {
  sqlite3_stmt* statement = KeptStatement(db, sql);
  if (statement == nullptr) return SqliteCause(db, SQLITE_ERROR);
  const int parameters = sqlite3_bind_parameter_count(statement);
  bool bound = BindText(statement, 1, name);
  const int64_t numbers[] = {id, first, last};
  for (int i = 2; bound && i <= std::min(parameters, 4); ++i) {
    bound = sqlite3_bind_int64(statement, i, numbers[i - 2]) == SQLITE_OK;
  }
  int rc = bound ? sqlite3_step(statement) : SQLITE_ERROR;
  if (rc == SQLITE_ROW && row != nullptr) {
    row->found = true;
    row->id = sqlite3_column_int64(statement, 0);
    row->size = sqlite3_column_int64(statement, 1);
    const bool ranged = sqlite3_column_type(statement, 2) != SQLITE_NULL && sqlite3_column_type(statement, 3) != SQLITE_NULL;
    row->first = ranged ? sqlite3_column_int64(statement, 2) : 0;
    row->last = ranged ? sqlite3_column_int64(statement, 3) : 0;
    rc = SQLITE_DONE;
  }
  std::string cause = rc == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db));
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  return cause;
}

// The condition that a row of the table is the file's: by its id (?2),
// and also by its name (?1) where rows may carry only the name.
std::string FileFilter(const LoadRequest& request) {
  std::string by_id;
  std::string by_name;
  if (!request.columns.file_id.empty()) {
    by_id = QuoteIdentifier(request.columns.file_id, QuoteStyle::kDoubleQuote) + " = ?2";
  }
  if (!request.columns.file_name.empty()) {
    by_name = QuoteIdentifier(request.columns.file_name, QuoteStyle::kDoubleQuote) + " = ?1";
  }
  if (by_id.empty()) return by_name;
  if (by_name.empty()) return by_id;
  return "(" + by_id + " OR " + by_name + ")";
}

std::string CountUnranged(sqlite3* db, const LoadRequest& request, bool& unranged) {
  // Ranges on SQLite hold only their file's rows (a unit holds the write
  // lock), so counting tells whether every row is in one.
  SqliteStatement count;
  const int rc = PrepareOne(db,
                            "SELECT (SELECT count(*) FROM " + Table(request) +
                                ") - (SELECT coalesce(sum(LastLineId - FirstLineId + 1), 0) FROM " +
                                Companion(request) + " WHERE FirstLineId IS NOT NULL)",
                            count);
  if (rc != SQLITE_OK) return SqliteCause(db, rc);
  if (sqlite3_step(count.get()) != SQLITE_ROW) return sqlite3_errmsg(db);
  unranged = sqlite3_column_int64(count.get(), 0) != 0;
  return {};
}

// Deletes the rows of the file `row` describes: within its range, or when
// it has none and other rows may be unranged, wherever the filter finds them.
// `unranged` null: look for them whatever the count would say.
std::string DeleteRows(sqlite3* db, const LoadRequest& request, const FileRow& row, UnrangedRows* unranged) {
  const std::string filter = FileFilter(request);
  if (row.first > 0) {
    // Rows are the primary key's: a range costs no index, and the filter
    // keeps it exact should anything else lie inside it.
    return RunKept(db, "DELETE FROM " + Table(request) + " WHERE LineId BETWEEN ?3 AND ?4 AND " + filter,
                   request.file_name_value, row.id, row.first, row.last);
  }
  if (unranged != nullptr && !unranged->known) {
    if (std::string cause = CountUnranged(db, request, unranged->value); !cause.empty()) return cause;
    unranged->known = true;
  }
  if (unranged != nullptr && !unranged->value) return {};
  // Rows found by their file: an index on each column the filter reads
  // turns a scan of the table per file into a look-up. It is made only
  // where such rows exist.
  const std::vector<std::string> parts = IdentifierParts(request.table_name);
  const std::pair<const std::string*, const char*> columns[] = {{&request.columns.file_name, "_file_line"},
                                                                {&request.columns.file_id, "_file_id_line"}};
  const std::string number = request.columns.line_number.empty()
                                 ? std::string()
                                 : ", " + QuoteIdentifier(request.columns.line_number, QuoteStyle::kDoubleQuote);
  for (const auto& [column, suffix] : columns) {
    if (column->empty()) continue;
    std::string sql = "CREATE INDEX IF NOT EXISTS ";
    if (parts.size() > 1) sql.append(QuoteIdentifierPart(parts[parts.size() - 2], QuoteStyle::kDoubleQuote)).append(".");
    sql.append(QuoteIdentifierPart(parts.back() + suffix, QuoteStyle::kDoubleQuote))
        .append(" ON ")
        .append(LastPart(request.table_name))
        .append(" (")
        .append(QuoteIdentifier(*column, QuoteStyle::kDoubleQuote))
        .append(number)
        .append(")");
    if (!ExecKept(db, sql.c_str())) return sqlite3_errmsg(db);
  }
  return RunKept(db, "DELETE FROM " + Table(request) + " WHERE " + filter, request.file_name_value, row.id);
}

std::string FindFile(sqlite3* db, const LoadRequest& request, FileRow& row) {
  return RunKept(db, "SELECT FileId, FileSize, FirstLineId, LastLineId FROM " + Companion(request) +
                         " WHERE FileName = ?1",
                 request.file_name_value, 0, 0, 0, &row);
}

}  // namespace

std::string SqliteCreateCompanion(sqlite3* db, const LoadRequest& request) {
  const std::string companion = Companion(request);
  const std::string definition =
      " (FileId INTEGER PRIMARY KEY, FileName TEXT NOT NULL UNIQUE, FileSize INTEGER,"
      " ModifiedTime INTEGER, ContentHash TEXT, LineCount INTEGER, BatchCode TEXT, CheckedTime INTEGER,"
      " FirstLineId INTEGER, LastLineId INTEGER)";
  std::string cause;
  const std::vector<std::string> present = ColumnsOf(db, IdentifierParts(CompanionTableName(request.table_name)), cause);
  if (!cause.empty()) return cause;
  std::vector<std::string> steps;
  if (present.empty()) {
    steps.push_back("CREATE TABLE IF NOT EXISTS " + companion + definition);
  } else if (std::find(present.begin(), present.end(), "fileid") == present.end()) {
    // A SQLite table cannot gain a primary key: it is made again, each file
    // keeping its row, with the rowid it had as its id.
    const std::string columns = kCompanionColumns;
    steps = {"CREATE TEMP TABLE corvanne_files AS SELECT rowid AS FileId, " + columns + " FROM " + companion,
             "DROP TABLE " + companion, "CREATE TABLE " + companion + definition,
             "INSERT INTO " + companion + " (FileId, " + columns + ") SELECT FileId, " + columns +
                 " FROM temp.corvanne_files",
             "DROP TABLE temp.corvanne_files"};
  }
  // "Line N of file F" as a one-liner, whichever column says where a row
  // comes from.
  std::string select = "SELECT t.LineId AS LineId, ";
  std::string from = " FROM " + LastPart(request.table_name) + " AS t";
  const std::string name_column =
      request.columns.file_name.empty() ? std::string("FileName") : LastPart(request.columns.file_name);
  if (!request.columns.file_id.empty()) {
    select += "f.FileName AS " + name_column;
    from += " LEFT JOIN " + LastPart(CompanionTableName(request.table_name)) + " AS f ON f.FileId = t." +
            LastPart(request.columns.file_id);
  } else {
    select += "t." + name_column;
  }
  for (const std::string* column : {&request.columns.line_number, &request.columns.batch_code}) {
    if (!column->empty()) select += ", t." + LastPart(*column);
  }
  select += ", t." + LastPart(request.column_name);
  steps.push_back("CREATE VIEW IF NOT EXISTS " +
                  QuoteIdentifier(CompanionViewName(request.table_name), QuoteStyle::kDoubleQuote) + " AS " + select +
                  from);
  for (const std::string& step : steps) {
    if (!Exec(db, step.c_str())) return sqlite3_errmsg(db);
  }
  return {};
}

std::string SqliteForgetRanges(sqlite3* db, const LoadRequest& request) {
  std::string cause;
  const std::vector<std::string> present = ColumnsOf(db, IdentifierParts(CompanionTableName(request.table_name)), cause);
  if (!cause.empty() || std::find(present.begin(), present.end(), "firstlineid") == present.end()) return cause;
  return Exec(db, ("UPDATE " + Companion(request) +
                   " SET FirstLineId = NULL, LastLineId = NULL WHERE FirstLineId IS NOT NULL")
                      .c_str())
             ? std::string()
             : std::string(sqlite3_errmsg(db));
}

std::string SqliteOpenFile(sqlite3* db, const LoadRequest& request, UnrangedRows& unranged, OpenedFile& file) {
  const std::string insert = "INSERT INTO " + Companion(request) + " (" + kCompanionColumns +
                             ") VALUES (?1, -1, 0, '', 0, '', 0)";
  FileRow row;
  bool inserted = false;
  std::string cause;
  if (file.expect_new) {
    // One statement instead of a look-up and an insert; a row the name
    // already has is left as it is, and looked up below.
    cause = RunKept(db, insert + " ON CONFLICT (FileName) DO NOTHING", request.file_name_value);
    inserted = cause.empty() && sqlite3_changes(db) == 1;
    if (inserted) file.id = sqlite3_last_insert_rowid(db);
  }
  if (cause.empty() && !inserted) cause = FindFile(db, request, row);
  // A run's files are mostly all new (a first load) or all known (a re-load).
  file.expect_new = inserted || !row.found;
  file.stale = false;
  // A file new to the companion table is still looked for among unranged rows.
  if (cause.empty() && request.load_mode != LoadMode::kAppend) cause = DeleteRows(db, request, row, &unranged);
  if (!cause.empty() || inserted) return cause;
  if (!row.found) {
    cause = RunKept(db, insert, request.file_name_value);
    file.id = sqlite3_last_insert_rowid(db);
    return cause;
  }
  file.id = row.id;
  // Until the unit records the file anew its rows are not current, and
  // rows an APPEND adds lie outside any range.
  file.stale = row.size != -1 || row.first != 0;
  return {};
}

std::string SqliteMarkNotCurrent(sqlite3* db, const LoadRequest& request, int64_t file_id) {
  return RunKept(db, "UPDATE " + Companion(request) +
                         " SET FileSize = -1, ContentHash = '', FirstLineId = NULL, LastLineId = NULL"
                         " WHERE FileId = ?2",
                 request.file_name_value, file_id);
}

std::string SqliteRecordOpenedFile(sqlite3* db, const LoadRequest& request, const FileState& state, int64_t file_id,
                                   int64_t first, int64_t last) {
  sqlite3_stmt* update = KeptStatement(
      db, "UPDATE " + Companion(request) +
              " SET FileSize = ?2, ModifiedTime = ?3, ContentHash = ?4, LineCount = ?5, BatchCode = ?6,"
              " CheckedTime = ?7, FirstLineId = ?8, LastLineId = ?9 WHERE FileId = ?1 AND FileName = ?10");
  if (update == nullptr) return SqliteCause(db, SQLITE_ERROR);
  const bool ranged = first > 0 && last >= first;
  const bool bound = sqlite3_bind_int64(update, 1, file_id) == SQLITE_OK &&
                     sqlite3_bind_int64(update, 2, state.size) == SQLITE_OK &&
                     sqlite3_bind_int64(update, 3, state.modified_time) == SQLITE_OK &&
                     BindText(update, 4, state.content_hash) &&
                     sqlite3_bind_int64(update, 5, state.line_count) == SQLITE_OK &&
                     BindText(update, 6, state.batch_code) &&
                     sqlite3_bind_int64(update, 7, state.checked_time) == SQLITE_OK &&
                     (ranged ? sqlite3_bind_int64(update, 8, first) : sqlite3_bind_null(update, 8)) == SQLITE_OK &&
                     (ranged ? sqlite3_bind_int64(update, 9, last) : sqlite3_bind_null(update, 9)) == SQLITE_OK &&
                     BindText(update, 10, state.file_name);
  int changed = 0;
  std::string cause = StepKept(db, update, bound, &changed);
  if (!cause.empty() || changed == 1) return cause;
  // The id is not the row of that name: the name finds it.
  return SqliteWriteFileState(db, request, state, first, last);
}

std::string SqliteDeleteFile(sqlite3* db, const LoadRequest& request, UnrangedRows& unranged) {
  FileRow row;
  std::string cause = FindFile(db, request, row);
  if (cause.empty()) cause = DeleteRows(db, request, row, row.found ? &unranged : nullptr);
  if (!cause.empty()) return cause;
  return RunKept(db, "DELETE FROM " + Companion(request) + " WHERE FileName = ?1", request.file_name_value);
}

std::string SqliteWriteFileState(sqlite3* db, const LoadRequest& request, const FileState& state, int64_t first,
                                 int64_t last) {
  sqlite3_stmt* insert = KeptStatement(
      db, "INSERT INTO " + Companion(request) + " (" + kCompanionColumns +
              ", FirstLineId, LastLineId) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (FileName) DO UPDATE SET"
              " FileSize = excluded.FileSize, ModifiedTime = excluded.ModifiedTime, ContentHash ="
              " excluded.ContentHash, LineCount = excluded.LineCount, BatchCode = excluded.BatchCode, CheckedTime ="
              " excluded.CheckedTime, FirstLineId = excluded.FirstLineId, LastLineId = excluded.LastLineId");
  if (insert == nullptr) return SqliteCause(db, SQLITE_ERROR);
  const bool ranged = first > 0 && last >= first;
  const bool bound = BindText(insert, 1, state.file_name) && sqlite3_bind_int64(insert, 2, state.size) == SQLITE_OK &&
                     sqlite3_bind_int64(insert, 3, state.modified_time) == SQLITE_OK &&
                     BindText(insert, 4, state.content_hash) &&
                     sqlite3_bind_int64(insert, 5, state.line_count) == SQLITE_OK &&
                     BindText(insert, 6, state.batch_code) &&
                     sqlite3_bind_int64(insert, 7, state.checked_time) == SQLITE_OK &&
                     (ranged ? sqlite3_bind_int64(insert, 8, first) : sqlite3_bind_null(insert, 8)) == SQLITE_OK &&
                     (ranged ? sqlite3_bind_int64(insert, 9, last) : sqlite3_bind_null(insert, 9)) == SQLITE_OK;
  return StepKept(db, insert, bound);
}

std::string SqliteRefreshFileState(sqlite3* db, const LoadRequest& request, const FileState& state) {
  sqlite3_stmt* update =
      KeptStatement(db, "UPDATE " + Companion(request) +
                            " SET ModifiedTime = ?2, CheckedTime = ?3 WHERE FileName = ?1 AND FileSize = ?4 AND"
                            " ContentHash = ?5");
  if (update == nullptr) return SqliteCause(db, SQLITE_ERROR);
  const bool bound = BindText(update, 1, state.file_name) &&
                     sqlite3_bind_int64(update, 2, state.modified_time) == SQLITE_OK &&
                     sqlite3_bind_int64(update, 3, state.checked_time) == SQLITE_OK &&
                     sqlite3_bind_int64(update, 4, state.size) == SQLITE_OK && BindText(update, 5, state.content_hash);
  return StepKept(db, update, bound);
}

std::string SqliteReadFileStates(sqlite3* db, const LoadRequest& request, const FileStateSink& each) {
  SqliteStatement select;
  const int rc = PrepareOne(db, std::string("SELECT ") + kCompanionColumns + " FROM " + Companion(request), select);
  if (rc != SQLITE_OK) {
    const std::string cause = SqliteCause(db, rc);
    // A table that never had a re-load has no companion yet: nothing known.
    return cause.rfind("no such table", 0) == 0 ? std::string() : cause;
  }
  int step = SQLITE_ROW;
  FileState state;
  while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
    sqlite3_stmt* row = select.get();
    ReadText(row, 0, state.file_name);
    state.size = sqlite3_column_int64(row, 1);
    state.modified_time = sqlite3_column_int64(row, 2);
    ReadText(row, 3, state.content_hash);
    state.line_count = sqlite3_column_int64(row, 4);
    ReadText(row, 5, state.batch_code);
    state.checked_time = sqlite3_column_int64(row, 6);
    each(state);
  }
  return step == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db));
}

std::string SqliteListFiles(sqlite3* db, const LoadRequest& request, const FileNameSink& each) {
  std::string sql = "SELECT FileName FROM " + Companion(request);
  if (!request.columns.file_name.empty()) {
    const std::string column = QuoteIdentifier(request.columns.file_name, QuoteStyle::kDoubleQuote);
    sql = "SELECT " + column + " FROM " + Table(request) + " WHERE " + column + " IS NOT NULL UNION " + sql;
  }
  SqliteStatement select;
  const int rc = PrepareOne(db, sql, select);
  if (rc != SQLITE_OK) return SqliteCause(db, rc);
  int step = SQLITE_ROW;
  std::string name;
  while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
    ReadText(select.get(), 0, name);
    each(name);
  }
  return step == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db));
}

}  // namespace corvanne
