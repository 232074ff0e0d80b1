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

// The companion row of a file as a unit finds it.
struct FileRow {
  bool found = false;
  int64_t id = 0;
  int64_t first = 0;  // 0: no range recorded
  int64_t last = 0;
};

bool FindFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file, FileRow& row,
              std::vector<OdbcDiagnostic>& why) {
  row = {};
  if (names.id_column.empty() && !names.ranged) return true;  // nothing to know
  BoundStatement select(connection);
  select.Text(file);
  // FileId only where a file-id column needs it: a companion table made by
  // hand may lack it.
  const bool id = !names.id_column.empty();
  std::string columns = id ? "FileId" : "";
  if (names.ranged) columns += id ? ", FirstLineId, LastLineId" : "FirstLineId, LastLineId";
  if (!select.Run("SELECT " + columns + " FROM " + names.companion + " WHERE FileName = ?", why)) return false;
  if (select.Fetch()) {
    row.found = true;
    if (id) row.id = select.NumberAt(1);
    if (names.ranged) {
      const auto first = static_cast<SQLUSMALLINT>(id ? 2 : 1);
      row.first = select.NumberAt(first);
      row.last = select.NumberAt(static_cast<SQLUSMALLINT>(first + 1));
    }
  }
  return true;
}

// The condition that a row is the file's, with its values bound in `statement`.
std::string FileFilter(const OdbcReloadNames& names, const std::string& file, int64_t id, BoundStatement& statement) {
  std::string filter;
  if (!names.id_column.empty()) {
    filter = names.id_column + " = ?";
    statement.Number(id);
  }
  if (!names.file_column.empty()) {
    filter = filter.empty() ? names.file_column + " = ?" : "(" + filter + " OR " + names.file_column + " = ?)";
    statement.Text(file);
  }
  return filter;
}

// Deletes the rows of the file `row` describes: within its LineId range (a
// look-up in the primary key; the filter keeps it exact where other units'
// rows took LineIds inside it), else wherever the filter finds them.
bool DeleteFileRows(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                    const FileRow& row, std::vector<OdbcDiagnostic>& why) {
  BoundStatement statement(connection);
  std::string range;
  if (row.first > 0) {
    statement.Number(row.first);
    statement.Number(row.last);
    range = "LineId BETWEEN ? AND ? AND ";
  }
  const std::string filter = FileFilter(names, file, row.id, statement);
  return statement.Run("DELETE FROM " + names.table + " WHERE " + range + filter, why);
}

}  // namespace

bool OdbcTakeOutFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                     bool take_out, int64_t& file_id, std::vector<OdbcDiagnostic>& why) {
  // The companion row first, so that two units of one file queue on it and
  // the second deletes what the first inserted (it sees it once the first
  // committed): never both copies, never neither.
  constexpr int kTries = 3;
  for (int attempt = 1;; ++attempt) {
    SQLLEN updated = 0;
    BoundStatement update(connection);
    update.Text(file);
    // An APPEND adds rows beside the file's others: they are not the ones
    // its record describes.
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
  FileRow row;
  if (!FindFile(connection, names, file, row, why)) return false;
  file_id = row.id;
  if (take_out && !DeleteFileRows(connection, names, file, row, why)) return false;
  if (row.first == 0) return true;
  BoundStatement unranged(connection);
  unranged.Text(file);
  return unranged.Run("UPDATE " + names.companion + " SET FirstLineId = NULL, LastLineId = NULL WHERE FileName = ?",
                      why);
}

bool OdbcForgetRanges(OdbcConnection& connection, const OdbcReloadNames& names, std::vector<OdbcDiagnostic>& why) {
  if (!names.ranged) return true;
  BoundStatement update(connection);
  return update.Run("UPDATE " + names.companion +
                        " SET FirstLineId = NULL, LastLineId = NULL WHERE FirstLineId IS NOT NULL",
                    why);
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
  if (updated > 0 && names.ranged) {
    // Units of the file queue on its companion row and this one took the
    // earlier rows out: the rows of the file it sees are its own.
    FileRow row;
    if (!FindFile(connection, names, state.file_name, row, why)) return false;
    BoundStatement range(connection);
    // The values are bound in the order the placeholders come.
    const std::string first = FileFilter(names, state.file_name, row.id, range);
    const std::string last = FileFilter(names, state.file_name, row.id, range);
    range.Text(state.file_name);
    return range.Run("UPDATE " + names.companion + " SET FirstLineId = (SELECT min(LineId) FROM " + names.table +
                         " WHERE " + first + "), LastLineId = (SELECT max(LineId) FROM " + names.table + " WHERE " +
                         last + ") WHERE FileName = ?",
                     why);
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
  FileRow row;
  return FindFile(connection, names, file, row, why) && DeleteFileRows(connection, names, file, row, why) &&
         DeleteRows(connection, names.companion, "FileName", file, why);
}

bool OdbcRefreshFileState(OdbcConnection& connection, const OdbcReloadNames& names, const FileState& state,
                          std::vector<OdbcDiagnostic>& why) {
  BoundStatement update(connection);
  update.Number(state.modified_time);
  update.Number(state.checked_time);
  update.Text(state.file_name);
  update.Number(state.size);
  update.Text(state.content_hash);
  return update.Run("UPDATE " + names.companion +
                        " SET ModifiedTime = ?, CheckedTime = ? WHERE FileName = ? AND FileSize = ? AND ContentHash = ?",
                    why);
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
  std::string sql = "SELECT FileName FROM " + names.companion;
  if (!names.file_column.empty()) {
    sql = "SELECT " + names.file_column + " FROM " + names.table + " WHERE " + names.file_column +
          " IS NOT NULL UNION " + sql;
  }
  if (!select.Run(sql, why)) return false;
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
