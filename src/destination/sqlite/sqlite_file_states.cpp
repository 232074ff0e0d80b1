// The companion table of a SQLite destination; see sqlite_file_states.hpp.
// File names are always bound, never put into the SQL text.
#include "destination/sqlite/sqlite_file_states.hpp"

#include "destination/identifier.hpp"
#include "destination/sqlite/sqlite_support.hpp"

namespace corvanne {

namespace {

std::string Companion(const LoadRequest& request) {
  return QuoteIdentifier(CompanionTableName(request.table_name), QuoteStyle::kDoubleQuote);
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

// Prepares `sql`, binds `file` to its one parameter and runs it to its end.
std::string RunForFile(sqlite3* db, const std::string& sql, const std::string& file) {
  SqliteStatement statement;
  int rc = PrepareOne(db, sql, statement);
  if (rc == SQLITE_OK && !BindText(statement.get(), 1, file)) rc = SQLITE_ERROR;
  if (rc == SQLITE_OK && sqlite3_step(statement.get()) != SQLITE_DONE) rc = SQLITE_ERROR;
  return rc == SQLITE_OK ? std::string() : SqliteCause(db, rc);
}

}  // namespace

std::string SqliteCreateCompanion(sqlite3* db, const LoadRequest& request) {
  return Exec(db, ("CREATE TABLE IF NOT EXISTS " + Companion(request) +
                   " (FileName TEXT PRIMARY KEY, FileSize INTEGER, ModifiedTime INTEGER, ContentHash TEXT,"
                   " LineCount INTEGER, BatchCode TEXT, CheckedTime INTEGER)")
                      .c_str())
             ? std::string()
             : std::string(sqlite3_errmsg(db));
}

std::string SqliteDeleteFile(sqlite3* db, const LoadRequest& request) {
  std::string cause = RunForFile(db, "DELETE FROM " + Companion(request) + " WHERE FileName = ?",
                                 request.file_name_value);
  if (!cause.empty()) return cause;
  const std::string table = QuoteIdentifier(request.table_name, QuoteStyle::kDoubleQuote);
  const std::string column = QuoteIdentifier(request.columns.file_name, QuoteStyle::kDoubleQuote);
  return RunForFile(db, "DELETE FROM " + table + " WHERE " + column + " = ?", request.file_name_value);
}

std::string SqliteWriteFileState(sqlite3* db, const LoadRequest& request, const FileState& state) {
  SqliteStatement statement;
  int rc = PrepareOne(db, "INSERT OR REPLACE INTO " + Companion(request) + " (" + kCompanionColumns +
                              ") VALUES (?, ?, ?, ?, ?, ?, ?)",
                      statement);
  if (rc == SQLITE_OK) {
    sqlite3_stmt* insert = statement.get();
    const bool bound = BindText(insert, 1, state.file_name) && sqlite3_bind_int64(insert, 2, state.size) == SQLITE_OK &&
                       sqlite3_bind_int64(insert, 3, state.modified_time) == SQLITE_OK &&
                       BindText(insert, 4, state.content_hash) &&
                       sqlite3_bind_int64(insert, 5, state.line_count) == SQLITE_OK &&
                       BindText(insert, 6, state.batch_code) &&
                       sqlite3_bind_int64(insert, 7, state.checked_time) == SQLITE_OK;
    if (!bound || sqlite3_step(insert) != SQLITE_DONE) rc = SQLITE_ERROR;
  }
  return rc == SQLITE_OK ? std::string() : SqliteCause(db, rc);
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
  const std::string table = QuoteIdentifier(request.table_name, QuoteStyle::kDoubleQuote);
  const std::string column = QuoteIdentifier(request.columns.file_name, QuoteStyle::kDoubleQuote);
  SqliteStatement select;
  const int rc = PrepareOne(db,
                            "SELECT " + column + " FROM " + table + " WHERE " + column + " IS NOT NULL UNION SELECT " +
                                "FileName FROM " + Companion(request),
                            select);
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
