// Array-bound INSERT for the ODBC destination; see odbc_batch_insert.hpp.
// A row counts as sent only when the driver says so, row by row.
#include "loader/odbc_batch_insert.hpp"

#include <algorithm>
#include <cstring>

namespace corvanne {

namespace {

// True when the driver can take an array of parameter sets on `stmt`: it
// describes how it counts their rows, and it keeps the size asked for.
bool TrySetArraySize(SQLHDBC dbc, SQLHSTMT stmt, std::size_t rows) {
  SQLUINTEGER row_counts = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &row_counts, sizeof row_counts, nullptr)) ||
      (row_counts != SQL_PARC_BATCH && row_counts != SQL_PARC_NO_BATCH)) {
    return false;
  }
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN),
                                0)) ||
      !Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0))) {
    return false;
  }
  // A driver may answer "option value changed" and quietly keep 1.
  SQLULEN actual = 0;
  return Succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &actual, 0, nullptr)) && actual == rows;
}

}  // namespace

OdbcBatchInsert::OdbcBatchInsert(std::size_t batch_rows, std::size_t column_size)
    : batch_rows_(std::max<std::size_t>(batch_rows, 1)), column_size_(std::max<std::size_t>(column_size, 1)) {}

bool OdbcBatchInsert::Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle) {
  failure_.what = what;
  failure_.diagnostics = ReadDiagnostics(type, handle);
  return false;
}

bool OdbcBatchInsert::Prepare(SQLHDBC dbc, const std::string& sql) {
  stmt_ = OdbcHandle(SQL_HANDLE_STMT, dbc);
  if (!stmt_.Valid()) return Fail("allocate a statement for the insert", SQL_HANDLE_DBC, dbc);
  std::string text = sql;  // SQLPrepare takes a non-const pointer
  if (!Succeeded(SQLPrepare(stmt_.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    return Fail("prepare the insert", SQL_HANDLE_STMT, stmt_.Get());
  }
  if (batch_rows_ > 1) {
    if (!TrySetArraySize(dbc, stmt_.Get(), batch_rows_)) {
      batch_rows_ = 1;
      SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    }
  }
  statuses_.assign(batch_rows_, SQL_PARAM_UNUSED);
  lengths_.assign(batch_rows_, 0);
  offsets_.reserve(batch_rows_);
  if (batch_rows_ > 1) {
    // Without the per-row verdicts a failed row inside an array could pass
    // for a success; such a driver is used row by row.
    if (!Succeeded(SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAM_STATUS_PTR, statuses_.data(), 0)) ||
        !Succeeded(SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed_, 0))) {
      batch_rows_ = 1;
      SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
      SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    }
  }
  return true;
}

bool OdbcBatchInsert::Add(std::string_view line, int64_t line_number) {
  if (offsets_.empty()) first_line_ = line_number;
  offsets_.push_back(arena_.size());
  arena_.append(line);
  return offsets_.size() < batch_rows_ || Flush();
}

bool OdbcBatchInsert::Flush() {
  const std::size_t rows = offsets_.size();
  if (rows == 0) return true;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < rows; ++i) {
    const std::size_t end = i + 1 < rows ? offsets_[i + 1] : arena_.size();
    lengths_[i] = static_cast<SQLLEN>(end - offsets_[i]);
    longest = std::max(longest, end - offsets_[i]);
  }
  const std::size_t stride = longest + 1;
  if (strided_.size() < rows * stride) strided_.resize(rows * stride);
  for (std::size_t i = 0; i < rows; ++i) {
    std::memcpy(strided_.data() + i * stride, arena_.data() + offsets_[i], static_cast<std::size_t>(lengths_[i]));
  }
  failure_ = {};
  failure_.first_line = first_line_;
  failure_.last_line = first_line_ + static_cast<int64_t>(rows) - 1;
  SQLRETURN rc = SQLBindParameter(stmt_.Get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, column_size_, 0,
                                  strided_.data(), static_cast<SQLLEN>(stride), lengths_.data());
  if (!Succeeded(rc)) return Fail("bind the line text for the insert", SQL_HANDLE_STMT, stmt_.Get());
  if (batch_rows_ > 1) {
    rc = SQLSetStmtAttr(stmt_.Get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    if (!Succeeded(rc)) return Fail("set the number of rows for the insert", SQL_HANDLE_STMT, stmt_.Get());
    std::fill(statuses_.begin(), statuses_.end(), static_cast<SQLUSMALLINT>(SQL_PARAM_UNUSED));
    processed_ = 0;
  }
  rc = SQLExecute(stmt_.Get());
  const bool ok = CheckStatuses(rc, rows);
  arena_.clear();
  offsets_.clear();
  return ok;
}

bool OdbcBatchInsert::CheckStatuses(SQLRETURN rc, std::size_t rows) {
  if (batch_rows_ == 1) {
    if (Succeeded(rc)) return true;
    failure_.failed_line = first_line_;
    return Fail("insert", SQL_HANDLE_STMT, stmt_.Get());
  }
  // Some drivers answer "success with info" when only some rows failed, so
  // the verdict of every row is read, whatever the return code.
  bool ok = Succeeded(rc) && processed_ == rows;
  for (std::size_t i = 0; i < rows && ok; ++i) {
    const SQLUSMALLINT status = statuses_[i];
    const bool row_ok = status == SQL_PARAM_SUCCESS || status == SQL_PARAM_SUCCESS_WITH_INFO ||
                        (status == SQL_PARAM_DIAG_UNAVAILABLE && rc == SQL_SUCCESS);
    if (!row_ok) ok = false;
  }
  if (ok) return true;
  // Some drivers mark every row of a failed array; a line is named only
  // when the driver singled one out.
  const auto errors = std::count(statuses_.begin(), statuses_.begin() + static_cast<std::ptrdiff_t>(rows),
                                 static_cast<SQLUSMALLINT>(SQL_PARAM_ERROR));
  if (errors == 1 || rows == 1) {
    const auto at = std::find(statuses_.begin(), statuses_.end(), static_cast<SQLUSMALLINT>(SQL_PARAM_ERROR));
    failure_.failed_line = first_line_ + (at == statuses_.end() ? 0 : at - statuses_.begin());
  }
  Fail("insert", SQL_HANDLE_STMT, stmt_.Get());
  if (failure_.diagnostics.empty()) {
    failure_.diagnostics.push_back({"HY000", 0,
                                    "the driver confirmed " + std::to_string(processed_) + " of " +
                                        std::to_string(rows) + " rows"});
  }
  return false;
}

}  // namespace corvanne
