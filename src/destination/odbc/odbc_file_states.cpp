// The companion table of an ODBC destination; see odbc_file_states.hpp.
// Only standard SQL (UPDATE, INSERT, DELETE, SELECT) so that every server
// takes it; file names and values are always bound.
#include "destination/odbc/odbc_file_states.hpp"

#include <cstdint>
#include <deque>

namespace corvanne {

namespace {

// One statement with its bound values; the values live as long as it does.
class BoundStatement {
 public:
  explicit BoundStatement(OdbcConnection& connection) : handle_(SQL_HANDLE_STMT, connection.Handle()) {}

  void Text(const std::string& value) {
    texts_.push_back(value);
    lengths_.push_back(static_cast<SQLLEN>(value.size()));
    const std::string& text = texts_.back();
    const auto size = static_cast<SQLULEN>(text.empty() ? 1 : text.size());
    bind_ok_ = bind_ok_ && Succeeded(SQLBindParameter(handle_.Get(), Next(), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                                      size, 0, const_cast<char*>(text.data()), lengths_.back(),
                                                      &lengths_.back()));
  }
  void Number(int64_t value) {
    numbers_.push_back(value);
    lengths_.push_back(0);
    bind_ok_ = bind_ok_ && Succeeded(SQLBindParameter(handle_.Get(), Next(), SQL_PARAM_INPUT, SQL_C_SBIGINT,
                                                      SQL_BIGINT, 0, 0, &numbers_.back(), 0, &lengths_.back()));
  }
  // Runs `sql`; false with `why` set. `rows` gets the rows it changed.
  bool Run(const std::string& sql, std::vector<OdbcDiagnostic>& why, SQLLEN* rows = nullptr) {
    std::string text = sql;  // the API takes a non-const pointer
    const SQLRETURN rc = handle_.Valid() && bind_ok_
                             ? SQLExecDirect(handle_.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS)
                             : SQL_ERROR;
    // An UPDATE or DELETE that found no row answers "no data": not a failure.
    if (rc == SQL_NO_DATA) {
      if (rows != nullptr) *rows = 0;
      return true;
    }
    if (!Succeeded(rc)) {
      why = ReadDiagnostics(handle_);
      return false;
    }
    if (rows != nullptr && !Succeeded(SQLRowCount(handle_.Get(), rows))) *rows = -1;
    return true;
  }
  // The next row of a query; false at the end.
  bool Fetch() { return Succeeded(SQLFetch(handle_.Get())); }
  std::string TextAt(SQLUSMALLINT column) {
    std::string value;
    char buffer[4096];
    SQLLEN length = 0;
    SQLRETURN rc;
    while (Succeeded(rc = SQLGetData(handle_.Get(), column, SQL_C_CHAR, buffer, sizeof buffer, &length))) {
      if (length == SQL_NULL_DATA) break;
      const bool whole = rc == SQL_SUCCESS;
      value.append(buffer, whole ? static_cast<std::size_t>(length) : sizeof buffer - 1);
      if (whole) break;
    }
    return value;
  }
  int64_t NumberAt(SQLUSMALLINT column) {
    SQLBIGINT value = 0;
    SQLLEN length = 0;
    if (!Succeeded(SQLGetData(handle_.Get(), column, SQL_C_SBIGINT, &value, sizeof value, &length)) ||
        length == SQL_NULL_DATA) {
      return 0;
    }
    return value;
  }

 private:
  SQLUSMALLINT Next() { return static_cast<SQLUSMALLINT>(lengths_.size()); }

  OdbcHandle handle_;
  std::deque<std::string> texts_;  // deques: bound addresses must not move
  std::deque<SQLBIGINT> numbers_;
  std::deque<SQLLEN> lengths_;
  bool bind_ok_ = true;
};

bool DeleteRows(OdbcConnection& connection, const std::string& table, const std::string& column,
                const std::string& file, std::vector<OdbcDiagnostic>& why) {
  BoundStatement statement(connection);
  statement.Text(file);
  return statement.Run("DELETE FROM " + table + " WHERE " + column + " = ?", why);
}

}  // namespace

bool OdbcTakeOutFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                     std::vector<OdbcDiagnostic>& why) {
  // The companion row first, so that two units of one file queue on it and
  // the second deletes what the first inserted (it sees it once the first
  // committed): never both copies, never neither.
  constexpr int kTries = 3;
  for (int attempt = 1;; ++attempt) {
    SQLLEN updated = 0;
    BoundStatement update(connection);
    update.Text(file);
    if (!update.Run("UPDATE " + names.companion + " SET FileSize = -1, ContentHash = '' WHERE FileName = ?", why,
                    &updated)) {
      return false;
    }
    if (updated > 0) break;
    BoundStatement insert(connection);
    insert.Text(file);
    if (insert.Run("INSERT INTO " + names.companion + " (" + kCompanionColumns + ") VALUES (?, -1, 0, '', 0, '', 0)",
                   why)) {
      break;
    }
    // Another run inserted the same row and committed while this insert
    // waited for it: start the transaction again and take that row.
    if (attempt == kTries) return false;
    connection.Rollback();
  }
  return DeleteRows(connection, names.table, names.file_column, file, why);
}

bool OdbcWriteFileState(OdbcConnection& connection, const OdbcReloadNames& names, const FileState& state,
                        std::vector<OdbcDiagnostic>& why) {
  // Both statements take the values in this order, the file name last.
  const auto bind = [&state](BoundStatement& statement) {
    statement.Number(state.size);
    statement.Number(state.modified_time);
    statement.Text(state.content_hash);
    statement.Number(state.line_count);
    statement.Text(state.batch_code);
    statement.Number(state.checked_time);
    statement.Text(state.file_name);
  };
  SQLLEN updated = 0;
  BoundStatement update(connection);
  bind(update);
  if (!update.Run("UPDATE " + names.companion +
                      " SET FileSize = ?, ModifiedTime = ?, ContentHash = ?, LineCount = ?, BatchCode = ?,"
                      " CheckedTime = ? WHERE FileName = ?",
                  why, &updated)) {
    return false;
  }
  if (updated > 0) return true;
  BoundStatement insert(connection);
  bind(insert);
  return insert.Run("INSERT INTO " + names.companion +
                        " (FileSize, ModifiedTime, ContentHash, LineCount, BatchCode, CheckedTime, FileName)"
                        " VALUES (?, ?, ?, ?, ?, ?, ?)",
                    why);
}

bool OdbcForgetFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                    std::vector<OdbcDiagnostic>& why) {
  return DeleteRows(connection, names.companion, "FileName", file, why) &&
         DeleteRows(connection, names.table, names.file_column, file, why);
}

bool OdbcReadFileStates(OdbcConnection& connection, const OdbcReloadNames& names, const FileStateSink& each,
                        std::vector<OdbcDiagnostic>& why) {
  BoundStatement select(connection);
  if (!select.Run(std::string("SELECT ") + kCompanionColumns + " FROM " + names.companion, why)) return false;
  FileState state;
  while (select.Fetch()) {
    // Columns are read in order: some drivers allow nothing else.
    state.file_name = select.TextAt(1);
    state.size = select.NumberAt(2);
    state.modified_time = select.NumberAt(3);
    state.content_hash = select.TextAt(4);
    state.line_count = select.NumberAt(5);
    state.batch_code = select.TextAt(6);
    state.checked_time = select.NumberAt(7);
    each(state);
  }
  return true;
}

bool OdbcListFiles(OdbcConnection& connection, const OdbcReloadNames& names, const FileNameSink& each,
                   std::vector<OdbcDiagnostic>& why) {
  BoundStatement select(connection);
  if (!select.Run("SELECT " + names.file_column + " FROM " + names.table + " WHERE " + names.file_column +
                      " IS NOT NULL UNION SELECT FileName FROM " + names.companion,
                  why)) {
    return false;
  }
  while (select.Fetch()) {
    std::string name = select.TextAt(1);
    each(name);
  }
  return true;
}

bool OdbcFindRows(OdbcConnection& connection, const std::string& table, const std::string& column,
                  const std::string& needle, std::vector<std::string>& rows, std::vector<OdbcDiagnostic>& why) {
  BoundStatement select(connection);
  // LIKE's own wildcards in the needle only widen the match; the caller
  // compares what comes back exactly.
  select.Text("%" + needle + "%");
  if (!select.Run("SELECT " + column + " FROM " + table + " WHERE " + column + " LIKE ?", why)) return false;
  while (select.Fetch()) rows.push_back(select.TextAt(1));
  return true;
}

}  // namespace corvanne
