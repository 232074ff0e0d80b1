// Small pieces every SQLite statement of this destination needs: one prepared
// statement at a time, refused when a second one hides behind it, and a
// scope that makes a piece of work all or nothing.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace corvanne {

struct SqliteStatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementDeleter>;

// Prepares exactly one statement of `sql` into `statement`: text after it
// would be a second statement smuggled in, and gives SQLITE_MISUSE.
int PrepareOne(sqlite3* db, const std::string& sql, SqliteStatement& statement);

// Runs `sql` (no rows, nothing bound); true when it succeeded.
bool Exec(sqlite3* db, const char* sql);

// Exec for the few statements every file runs (BEGIN, COMMIT, SAVEPOINT...):
// each is prepared once per connection and kept, since compiling it costs
// more than a marker row. `sql` must be one fixed statement.
bool ExecKept(sqlite3* db, const char* sql);

// The statement of `sql` prepared once per connection and kept, as ExecKept
// keeps its own, for the statements every file runs with values bound; the
// caller resets it after use. nullptr when it cannot be prepared.
sqlite3_stmt* KeptStatement(sqlite3* db, const std::string& sql);

// Finalizes the statements ExecKept and KeptStatement keep for `db`; call before closing it.
void ForgetKept(sqlite3* db);

// The text of a one-row, one-column query, or empty.
std::string QueryText(sqlite3* db, const char* sql);

// Why the last call on `db` failed: SQLite's message, or, for a statement
// that PrepareOne refused without SQLite knowing, that reason.
std::string SqliteCause(sqlite3* db, int rc);

// `text` with A-Z made lower case: SQLite compares names that way.
std::string LowerAscii(std::string text);

// The lower-case column names of the table `parts` names (schema.table or
// table); empty when there is no such table. Fills `cause` on failure.
std::vector<std::string> ColumnsOf(sqlite3* db, const std::vector<std::string>& parts, std::string& cause);

// Makes one piece of work all-or-nothing: its own write transaction, or,
// inside a unit's open transaction, a savepoint. Until Commit() succeeds,
// leaving the scope undoes the work and nothing else.
class LoadScope {
 public:
  // `one_row` inside a unit (a marker row) needs neither transaction nor
  // savepoint: SQLite undoes a failed statement by itself, and a savepoint
  // would cost more than the row.
  LoadScope(sqlite3* db, bool nested, bool one_row = false)
      : db_(db), nested_(nested), statement_only_(nested && one_row) {}
  ~LoadScope() {
    if (open_) Undo();
  }
  LoadScope(const LoadScope&) = delete;
  LoadScope& operator=(const LoadScope&) = delete;

  // A transaction takes the write lock at once, waiting up to the busy
  // timeout for it; a savepoint has the unit's lock already.
  bool Begin();
  bool Commit();

 private:
  void Undo();

  sqlite3* db_;
  bool nested_;        // a savepoint inside the unit's transaction
  bool statement_only_;  // inside the unit, one row: the statement is its own scope
  bool open_ = false;  // begun, and neither committed nor undone
};

}  // namespace corvanne
