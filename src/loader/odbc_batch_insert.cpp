// Multi-row INSERTs for the ODBC destination; see odbc_batch_insert.hpp.
// A row counts as sent only when the driver says so for its statement.
#include "loader/odbc_batch_insert.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace corvanne {

namespace {

// True when the driver can take an array of parameter sets on `stmt`: it
// describes how it counts their rows, and it keeps the size asked for.
bool TrySetArraySize(SQLHDBC dbc, SQLHSTMT stmt, std::size_t sets) {
  SQLUINTEGER row_counts = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_PARAM_ARRAY_ROW_COUNTS, &row_counts, sizeof row_counts, nullptr)) ||
      (row_counts != SQL_PARC_BATCH && row_counts != SQL_PARC_NO_BATCH)) {
    return false;
  }
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN),
                                0)) ||
      !Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0))) {
    return false;
  }
  // A driver may answer "option value changed" and quietly keep 1.
  SQLULEN actual = 0;
  return Succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &actual, 0, nullptr)) && actual == sets;
}

void ResetArraySize(SQLHSTMT stmt) {
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
}

// "(?),(?),...,(?)" with `rows` groups.
std::string ValuesList(std::size_t rows) {
  std::string list;
  list.reserve(rows * 4);
  for (std::size_t i = 0; i < rows; ++i) list += i == 0 ? "(?)" : ",(?)";
  return list;
}

// Syntax errors and unresolved names (SQLSTATE classes 42 and, from ODBC 2
// drivers, 37): what a server that cannot parse multi-row VALUES answers.
bool IsSyntaxOrAccessError(const std::vector<OdbcDiagnostic>& records) {
  return std::any_of(records.begin(), records.end(), [](const OdbcDiagnostic& record) {
    return record.sqlstate.rfind("42", 0) == 0 || record.sqlstate.rfind("37", 0) == 0;
  });
}

}  // namespace

OdbcBatchInsert::OdbcBatchInsert(OdbcConnection& connection, std::string insert_prefix, const OdbcInsertShape& shape)
    : connection_(connection), prefix_(std::move(insert_prefix)), shape_(shape) {
  shape_.rows_per_statement = std::clamp<std::size_t>(shape.rows_per_statement, 1, kMaxRowsPerStatement);
  shape_.statements_per_execute = std::max<std::size_t>(shape.statements_per_execute, 1);
  shape_.column_size = std::max<std::size_t>(shape.column_size, 1);
  if (connection_.MultiRow() == MultiRowValues::kNo) {
    // The same lines per round trip, as an array of one-row statements.
    shape_.statements_per_execute *= shape_.rows_per_statement;
    shape_.rows_per_statement = 1;
  }
}

bool OdbcBatchInsert::Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle) {
  failure_.what = what;
  failure_.diagnostics = ReadDiagnostics(type, handle);
  return false;
}

bool OdbcBatchInsert::MayRefuseMultiRow(const Statement& statement) const {
  return statement.rows > 1 && connection_.MultiRow() == MultiRowValues::kUnknown;
}

bool OdbcBatchInsert::Prepare(Statement& statement, std::size_t rows, std::size_t sets) {
  failure_ = {};
  statement = Statement{};
  statement.rows = rows;
  statement.handle = OdbcHandle(SQL_HANDLE_STMT, connection_.Handle());
  if (!statement.handle.Valid()) return Fail("allocate a statement for the insert", SQL_HANDLE_DBC, connection_.Handle());
  SQLHSTMT stmt = statement.handle.Get();
  std::string text = prefix_ + ValuesList(rows);  // SQLPrepare takes a non-const pointer
  if (!Succeeded(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    multi_row_refusal_ = MayRefuseMultiRow(statement);
    return Fail("prepare the insert", SQL_HANDLE_STMT, stmt);
  }
  if (sets > 1 && TrySetArraySize(connection_.Handle(), stmt, sets)) {
    statement.statuses.assign(sets, SQL_PARAM_UNUSED);
    // Without the per-set verdicts a failed set inside an array could pass
    // for a success; such a driver gets one set per execute.
    if (Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, statement.statuses.data(), 0)) &&
        Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &statement.processed, 0))) {
      statement.sets = sets;
      return true;
    }
  }
  if (sets > 1) ResetArraySize(stmt);
  statement.sets = 1;
  return true;
}

bool OdbcBatchInsert::Add(std::string_view line, int64_t line_number) {
  if (offsets_.empty()) first_line_ = line_number;
  offsets_.push_back(arena_.size());
  arena_.append(line);
  return offsets_.size() < shape_.rows_per_statement * shape_.statements_per_execute || Flush();
}

bool OdbcBatchInsert::Flush() {
  if (offsets_.empty()) return true;
  multi_row_refusal_ = false;
  bool ok = SendBuffered();
  if (!ok && multi_row_refusal_) {
    // Only the first multi-row statement on a connection can be refused, so
    // nothing of this load is in the table yet and the buffer holds all of
    // it: undo the failed statement and send the lines one row each.
    connection_.Rollback();
    shape_.statements_per_execute *= shape_.rows_per_statement;
    shape_.rows_per_statement = 1;
    main_ = Statement{};
    tail_ = Statement{};
    multi_row_refusal_ = false;
    ok = SendBuffered();
    // When one-row statements fail too, the fault was not the multi-row
    // form, and their failure is the one that names the cause.
    if (ok) connection_.SetMultiRow(MultiRowValues::kNo);
  }
  arena_.clear();
  offsets_.clear();
  return ok;
}

bool OdbcBatchInsert::SendBuffered() {
  const std::size_t count = offsets_.size();
  std::size_t done = 0;
  while (count - done >= shape_.rows_per_statement) {
    if (!main_.handle.Valid() && !Prepare(main_, shape_.rows_per_statement, shape_.statements_per_execute)) {
      return false;
    }
    const std::size_t sets = std::min((count - done) / main_.rows, main_.sets);
    if (!Send(main_, done, sets)) return false;
    done += sets * main_.rows;
  }
  if (done == count) return true;
  const std::size_t rest = count - done;
  if ((!tail_.handle.Valid() || tail_.rows != rest) && !Prepare(tail_, rest, 1)) return false;
  return Send(tail_, done, 1);
}

bool OdbcBatchInsert::Send(Statement& statement, std::size_t first, std::size_t sets) {
  const std::size_t rows = statement.rows;
  const std::size_t count = rows * sets;
  failure_ = {};
  failure_.first_line = first_line_ + static_cast<int64_t>(first);
  failure_.last_line = failure_.first_line + static_cast<int64_t>(count) - 1;
  const auto length_of = [&](std::size_t k) {
    return (k + 1 < offsets_.size() ? offsets_[k + 1] : arena_.size()) - offsets_[k];
  };
  std::size_t longest = 0;
  for (std::size_t k = first; k < first + count; ++k) longest = std::max(longest, length_of(k));
  const std::size_t stride = longest + 1;
  if (strided_.size() < count * stride) strided_.resize(count * stride);
  if (lengths_.size() < count) lengths_.resize(count);
  // Parameter-major: the values of parameter i for every set lie together,
  // as column-wise arrays want them.
  for (std::size_t set = 0; set < sets; ++set) {
    for (std::size_t i = 0; i < rows; ++i) {
      const std::size_t line = first + set * rows + i;
      const std::size_t slot = i * sets + set;
      lengths_[slot] = static_cast<SQLLEN>(length_of(line));
      std::memcpy(strided_.data() + slot * stride, arena_.data() + offsets_[line], length_of(line));
    }
  }
  SQLHSTMT stmt = statement.handle.Get();
  for (std::size_t i = 0; i < rows; ++i) {
    const SQLRETURN rc =
        SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                         shape_.column_size, 0, strided_.data() + i * sets * stride, static_cast<SQLLEN>(stride),
                         lengths_.data() + i * sets);
    if (!Succeeded(rc)) return Fail("bind the line text for the insert", SQL_HANDLE_STMT, stmt);
  }
  if (statement.sets > 1) {
    const SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0);
    if (!Succeeded(rc)) return Fail("set the number of rows for the insert", SQL_HANDLE_STMT, stmt);
    std::fill(statement.statuses.begin(), statement.statuses.end(), static_cast<SQLUSMALLINT>(SQL_PARAM_UNUSED));
    statement.processed = 0;
  }
  if (!CheckStatuses(statement, SQLExecute(stmt), first, sets)) return false;
  if (rows > 1) connection_.SetMultiRow(MultiRowValues::kYes);
  return true;
}

bool OdbcBatchInsert::CheckStatuses(const Statement& statement, SQLRETURN rc, std::size_t first, std::size_t sets) {
  const std::size_t rows = statement.rows;
  const auto fail = [&] {
    Fail("insert", SQL_HANDLE_STMT, statement.handle.Get());
    multi_row_refusal_ = MayRefuseMultiRow(statement) && IsSyntaxOrAccessError(failure_.diagnostics);
    return false;
  };
  if (statement.sets == 1) {
    if (Succeeded(rc)) return true;
    if (rows == 1) failure_.failed_line = failure_.first_line;
    return fail();
  }
  // Some drivers answer "success with info" when only some sets failed, so
  // the verdict of every set is read, whatever the return code.
  const auto statuses_end = statement.statuses.begin() + static_cast<std::ptrdiff_t>(sets);
  const bool ok = Succeeded(rc) && statement.processed == sets &&
                  std::all_of(statement.statuses.begin(), statuses_end, [rc](SQLUSMALLINT status) {
                    return status == SQL_PARAM_SUCCESS || status == SQL_PARAM_SUCCESS_WITH_INFO ||
                           (status == SQL_PARAM_DIAG_UNAVAILABLE && rc == SQL_SUCCESS);
                  });
  if (ok) return true;
  // Some drivers mark every set of a failed array; lines are narrowed down
  // only when the driver singled one set out.
  const auto at = std::find(statement.statuses.begin(), statuses_end, static_cast<SQLUSMALLINT>(SQL_PARAM_ERROR));
  if (at != statuses_end && std::count(at, statuses_end, static_cast<SQLUSMALLINT>(SQL_PARAM_ERROR)) == 1) {
    failure_.first_line = first_line_ + static_cast<int64_t>(first + (at - statement.statuses.begin()) * rows);
    failure_.last_line = failure_.first_line + static_cast<int64_t>(rows) - 1;
    if (rows == 1) failure_.failed_line = failure_.first_line;
  }
  fail();
  if (failure_.diagnostics.empty()) {
    failure_.diagnostics.push_back({"HY000", 0,
                                    "the driver confirmed " + std::to_string(statement.processed) + " of " +
                                        std::to_string(sets) + (rows == 1 ? " rows" : " statements")});
  }
  return false;
}

}  // namespace corvanne
