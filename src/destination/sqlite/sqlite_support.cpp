// Prepared statements and all-or-nothing scopes for the SQLite destination.
#include "destination/sqlite/sqlite_support.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <string_view>

namespace corvanne {

int PrepareOne(sqlite3* db, const std::string& sql, SqliteStatement& statement) {
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

namespace {

// The kept statements of every open connection. A connection is used by
// one thread at a time; the lock is for the map, shared by connections.
std::mutex kept_mutex;
std::map<sqlite3*, std::map<std::string, SqliteStatement, std::less<>>> kept;

}  // namespace

sqlite3_stmt* KeptStatement(sqlite3* db, const std::string& sql) {
  const std::lock_guard<std::mutex> lock(kept_mutex);
  auto& statements = kept[db];
  auto found = statements.find(std::string_view(sql));
  if (found == statements.end()) {
    SqliteStatement prepared;
    if (PrepareOne(db, sql, prepared) != SQLITE_OK) return nullptr;
    found = statements.emplace(sql, std::move(prepared)).first;
  }
  return found->second.get();
}

bool ExecKept(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = KeptStatement(db, sql);
  if (statement == nullptr) return false;
  const int rc = sqlite3_step(statement);
  // Reset at once: a statement left running would hold its lock.
  sqlite3_reset(statement);
  return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

void ForgetKept(sqlite3* db) {
  const std::lock_guard<std::mutex> lock(kept_mutex);
  kept.erase(db);
}

std::string QueryText(sqlite3* db, const char* sql) {
  SqliteStatement statement;
  std::string text;
  if (PrepareOne(db, sql, statement) == SQLITE_OK && sqlite3_step(statement.get()) == SQLITE_ROW) {
    const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
    if (value != nullptr) text = value;
  }
  return text;
}

std::string SqliteCause(sqlite3* db, int rc) {
  // PrepareOne refuses a second statement without SQLite having an error.
  return rc == SQLITE_MISUSE ? std::string("the names do not make one statement") : std::string(sqlite3_errmsg(db));
}

std::string LowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

std::vector<std::string> ColumnsOf(sqlite3* db, const std::vector<std::string>& parts, std::string& cause) {
  // Named columns are compared, not selected: SQLite reads a double-quoted
  // name that is no column as a string, and would pass any name.
  SqliteStatement columns;
  std::vector<std::string> present;
  const int rc = PrepareOne(db, "SELECT lower(name) FROM pragma_table_info(?1, ?2)", columns);
  if (rc != SQLITE_OK) {
    cause = SqliteCause(db, rc);
    return present;
  }
  sqlite3_bind_text(columns.get(), 1, parts.back().c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(columns.get(), 2, parts.size() > 1 ? parts[0].c_str() : "main", -1, SQLITE_TRANSIENT);
  while (sqlite3_step(columns.get()) == SQLITE_ROW) {
    present.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0)));
  }
  return present;
}

bool LoadScope::Begin() {
  open_ = statement_only_ || ExecKept(db_, nested_ ? "SAVEPOINT corvanne_load" : "BEGIN IMMEDIATE");
  return open_;
}

bool LoadScope::Commit() {
  if (!statement_only_ && !ExecKept(db_, nested_ ? "RELEASE corvanne_load" : "COMMIT")) return false;
  open_ = false;
  return true;
}

void LoadScope::Undo() {
  // Some errors (I/O, a full disk, a trigger's RAISE(ROLLBACK)) end the
  // whole transaction by themselves; there is nothing left to undo then.
  if (sqlite3_get_autocommit(db_) != 0 || statement_only_) return;
  if (!nested_) {
    ExecKept(db_, "ROLLBACK");
  } else if (ExecKept(db_, "ROLLBACK TO corvanne_load")) {
    // Rolling back to a savepoint keeps it open; the unit goes on without it.
    ExecKept(db_, "RELEASE corvanne_load");
  }
}

}  // namespace corvanne
