// Multi-row INSERTs for the ODBC destination; see odbc_batch_insert.hpp.
// A row counts as sent only when the driver says so for its statement.
#include "destination/odbc/odbc_batch_insert.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/utf8.hpp"

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

// "(?,?),(?,?),...,(?,?)" with `rows` groups of `per_row` markers.
std::string ValuesList(std::size_t rows, std::size_t per_row) {
  std::string group = "(?";
  for (std::size_t i = 1; i < per_row; ++i) group += ",?";
  group += ")";
  std::string list;
  list.reserve(rows * (group.size() + 1));
  for (std::size_t i = 0; i < rows; ++i) list.append(i == 0 ? "" : ",").append(group);
  return list;
}

// The rows after the last full chunk of a load go in statements of their
// own length, prepared once per connection: every length up to kExactTail,
// beyond it a multiple of kTailStep and the rest. So at most kExactTail +
// kMaxRowsPerStatement / kTailStep statements are ever kept, and none is
// prepared (two round trips and the server's planning) and dropped per file.
constexpr std::size_t kExactTail = 64;
constexpr std::size_t kTailStep = 32;

// Syntax errors and unresolved names (SQLSTATE classes 42 and, from ODBC 2
// drivers, 37): what a server that cannot parse multi-row VALUES answers.
bool IsSyntaxOrAccessError(const std::vector<OdbcDiagnostic>& records) {
  return std::any_of(records.begin(), records.end(), [](const OdbcDiagnostic& record) {
    return record.sqlstate.rfind("42", 0) == 0 || record.sqlstate.rfind("37", 0) == 0;
  });
}

}  // namespace

OdbcBatchInsert::OdbcBatchInsert(OdbcConnection& connection, std::string insert_prefix, const OdbcInsertShape& shape,
                                 const OdbcRowColumns& columns)
    : connection_(connection), prefix_(std::move(insert_prefix)), columns_(columns), asked_(shape), shape_(shape) {
  const std::size_t most_rows = std::min(kMaxRowsPerStatement, kMaxParametersPerStatement / ColumnsPerRow());
  shape_.rows_per_statement = std::clamp<std::size_t>(shape.rows_per_statement, 1, most_rows);
  shape_.statements_per_execute = std::max<std::size_t>(shape.statements_per_execute, 1);
  shape_.column_size = std::max<std::size_t>(shape.column_size, 1);
  wide_ = columns_.wide && connection_.Wide() != WideText::kNo;
  if (connection_.MultiRow() == MultiRowValues::kNo) {
    // The same lines per round trip, as an array of one-row statements.
    shape_.statements_per_execute *= shape_.rows_per_statement;
    shape_.rows_per_statement = 1;
  }
}

std::size_t OdbcBatchInsert::ColumnsPerRow() const {
  return 1 + (columns_.file_name ? 1 : 0) + (columns_.line_number ? 1 : 0) + (columns_.batch_code ? 1 : 0) +
         (columns_.file_id ? 1 : 0);
}

bool OdbcBatchInsert::Encode(std::string_view text, std::string& out) {
  if (!sending_wide_) {
    out.append(text);
    return true;
  }
  wide_scratch_.clear();
  if (!AppendUtf16(text, wide_scratch_)) return false;
  out.append(reinterpret_cast<const char*>(wide_scratch_.data()), wide_scratch_.size() * sizeof(char16_t));
  return true;
}

bool OdbcBatchInsert::Fits(const std::string& insert_prefix, const OdbcInsertShape& shape,
                           const OdbcRowColumns& columns) const {
  return insert_prefix == prefix_ && shape.rows_per_statement == asked_.rows_per_statement &&
         shape.statements_per_execute == asked_.statements_per_execute && shape.column_size == asked_.column_size &&
         columns.file_name == columns_.file_name && columns.line_number == columns_.line_number &&
         columns.batch_code == columns_.batch_code && columns.wide == columns_.wide && columns.file_id == columns_.file_id;
}

void OdbcBatchInsert::BeginLoad(std::string file_name, std::string batch_code, int64_t file_id,
                                std::function<bool()> undo, std::function<bool()> mark) {
  file_name_ = std::move(file_name);
  batch_code_ = std::move(batch_code);
  file_id_ = file_id;
  undo_ = std::move(undo);
  mark_ = std::move(mark);
  file_values_.clear();
  batch_values_.clear();
  arena_.clear();
  offsets_.clear();
  line_numbers_.clear();
  failure_ = {};
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
  std::string text = prefix_ + ValuesList(rows, ColumnsPerRow());  // SQLPrepare takes a non-const pointer
  if (!Succeeded(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    multi_row_refusal_ = MayRefuseMultiRow(statement);
    Fail("prepare the insert", SQL_HANDLE_STMT, stmt);
    statement = Statement{};  // kept for later loads only once prepared
    return false;
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
  offsets_.push_back(arena_.size());
  line_numbers_.push_back(line_number);
  arena_.append(line);
  if (offsets_.size() < shape_.rows_per_statement * shape_.statements_per_execute) return true;
  // More rows may follow: the load may take more than one statement.
  return MarkLoad() && Flush();
}

bool OdbcBatchInsert::MarkLoad() {
  if (!mark_) return true;
  if (std::exchange(mark_, nullptr)()) return true;
  failure_ = {};
  failure_.what = "mark the start of the load";
  failure_.diagnostics = connection_.Diagnostics();
  arena_.clear();
  offsets_.clear();
  line_numbers_.clear();
  return false;
}

bool OdbcBatchInsert::Flush() {
  if (offsets_.empty()) return true;
  if (offsets_.size() > shape_.rows_per_statement && !MarkLoad()) return false;
  multi_row_refusal_ = false;
  wide_refusal_ = false;
  // A refusal can only come from the first statement of its kind on the
  // connection, so nothing of this load is in the table yet and the buffer
  // holds all of it: undo the refused statement, send it all again another way.
  const auto again = [&](const auto& change) {
    if (!undo_()) return false;
    change();
    main_ = Statement{};
    tails_.clear();
    multi_row_refusal_ = false;
    return SendBuffered();
  };
  bool ok = SendBuffered();
  if (!ok && wide_refusal_) {
    // An ANSI driver that knows no wide characters: UTF-8 bytes from now on.
    ok = again([this] { wide_ = false; });
    if (ok) connection_.SetWide(WideText::kNo);
  }
  if (!ok && multi_row_refusal_) {
    // A driver that takes no multi-row VALUES: the lines one row each.
    ok = again([this] {
      shape_.statements_per_execute *= shape_.rows_per_statement;
      shape_.rows_per_statement = 1;
    });
    // When one-row statements fail too, the fault was not the multi-row
    // form, and their failure is the one that names the cause.
    if (ok) connection_.SetMultiRow(MultiRowValues::kNo);
  }
  arena_.clear();
  offsets_.clear();
  line_numbers_.clear();
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
  while (done < count) {
    const std::size_t rest = count - done;
    const std::size_t rows = rest <= kExactTail ? rest : rest - rest % kTailStep;
    Statement& tail = tails_[rows];
    if (!tail.handle.Valid() && !Prepare(tail, rows, 1)) {
      tails_.erase(rows);
      return false;
    }
    if (!Send(tail, done, 1)) return false;
    done += rows;
  }
  return true;
}

bool OdbcBatchInsert::Send(Statement& statement, std::size_t first, std::size_t sets) {
  const std::size_t count = statement.rows * sets;
  failure_ = {};
  failure_.first_line = line_numbers_[first];
  failure_.last_line = line_numbers_[first + count - 1];
  if (!Bind(statement, first, sets)) return false;
  SQLHSTMT stmt = statement.handle.Get();
  if (statement.sets > 1) {
    const SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0);
    if (!Succeeded(rc)) return Fail("set the number of rows for the insert", SQL_HANDLE_STMT, stmt);
    std::fill(statement.statuses.begin(), statement.statuses.end(), static_cast<SQLUSMALLINT>(SQL_PARAM_UNUSED));
    statement.processed = 0;
  }
  if (!CheckStatuses(statement, SQLExecute(stmt), first, sets)) return false;
  if (statement.rows > 1) connection_.SetMultiRow(MultiRowValues::kYes);
  if (sending_wide_) connection_.SetWide(WideText::kYes);
  return true;
}

bool OdbcBatchInsert::Bind(Statement& statement, std::size_t first, std::size_t sets) {
  const std::size_t rows = statement.rows;
  const std::size_t count = rows * sets;
  // ASCII is the same bytes in every client encoding: once the driver is
  // known to take wide characters, all-ASCII rows go as they are, which
  // spares the conversion both here and in the driver. Until then every
  // statement goes wide, so that a refusal comes at the first one.
  sending_wide_ = wide_;
  if (wide_ && connection_.Wide() == WideText::kYes) {
    const std::size_t range_end = first + count < offsets_.size() ? offsets_[first + count] : arena_.size();
    const std::string_view range = std::string_view(arena_).substr(offsets_[first], range_end - offsets_[first]);
    sending_wide_ = AsciiPrefix(range) != range.size() || AsciiPrefix(file_name_) != file_name_.size() ||
                    AsciiPrefix(batch_code_) != batch_code_.size();
  }
  // The bytes the driver is given: the buffered UTF-8 itself, or its lines
  // as UTF-16 (kept beside it, so that a driver that refuses wide
  // characters can still be given the UTF-8).
  const std::string* bytes = &arena_;
  std::size_t base = first;
  if (sending_wide_) {
    encoded_.clear();
    encoded_offsets_.clear();
    for (std::size_t k = first; k < first + count; ++k) {
      encoded_offsets_.push_back(encoded_.size());
      const std::size_t end = k + 1 < offsets_.size() ? offsets_[k + 1] : arena_.size();
      if (!Encode(std::string_view(arena_).substr(offsets_[k], end - offsets_[k]), encoded_)) {
        failure_.what = "convert the line to wide characters";
        failure_.failed_line = line_numbers_[k];
        failure_.diagnostics = {{"22018", 0, "the line is not valid UTF-8"}};
        return false;
      }
    }
    bytes = &encoded_;
    base = 0;
  }
  const std::vector<std::size_t>& starts = sending_wide_ ? encoded_offsets_ : offsets_;
  const auto offset_of = [&](std::size_t k) { return starts[k - first + base]; };
  const auto length_of = [&](std::size_t k) {
    const std::size_t at = k - first + base;
    return (at + 1 < starts.size() ? starts[at + 1] : bytes->size()) - starts[at];
  };
  std::size_t longest = 0;
  for (std::size_t k = first; k < first + count; ++k) longest = std::max(longest, length_of(k));
  // Room for the terminator the driver may look for: one byte, or one
  // UTF-16 unit (strides stay even so that every value is aligned).
  const std::size_t unit = sending_wide_ ? sizeof(char16_t) : 1;
  const std::size_t stride = longest + unit;
  if (strided_.size() < count * stride) strided_.resize(count * stride);
  if (lengths_.size() < count) lengths_.resize(count);
  if (columns_.line_number && line_values_.size() < count) {
    line_values_.resize(count);
    line_indicators_.resize(count);
  }
  // Parameter-major: the values of parameter i for every set lie together,
  // as column-wise arrays want them.
  for (std::size_t set = 0; set < sets; ++set) {
    for (std::size_t i = 0; i < rows; ++i) {
      const std::size_t line = first + set * rows + i;
      const std::size_t slot = i * sets + set;
      lengths_[slot] = static_cast<SQLLEN>(length_of(line));
      std::memcpy(strided_.data() + slot * stride, bytes->data() + offset_of(line), length_of(line));
      if (columns_.line_number) {
        line_values_[slot] = line_numbers_[line];
        line_indicators_[slot] = line_numbers_[line] > 0 ? 0 : SQL_NULL_DATA;
      }
    }
  }
  // The values that are the same on every row: one array of sets, shared by
  // the rows' parameters.
  const auto fill = [this, sets, unit](const std::string& text, std::vector<char>& values,
                                       std::vector<SQLLEN>& lengths) {
    std::string value;
    Encode(text, value);  // text the run made from valid UTF-8
    const std::size_t value_stride = value.size() + unit;
    if (values.size() == sets * value_stride && lengths.size() == sets &&
        std::memcmp(values.data(), value.data(), value.size()) == 0) {
      return value.size();
    }
    values.assign(sets * value_stride, '\0');
    lengths.assign(sets, static_cast<SQLLEN>(value.size()));
    for (std::size_t set = 0; set < sets; ++set) std::memcpy(values.data() + set * value_stride, value.data(), value.size());
    return value.size();
  };
  const std::size_t file_bytes = columns_.file_name ? fill(file_name_, file_values_, file_lengths_) : 0;
  const std::size_t batch_bytes = columns_.batch_code ? fill(batch_code_, batch_values_, batch_lengths_) : 0;
  if (columns_.file_id) {
    id_values_.assign(sets, file_id_);
    id_indicators_.assign(sets, 0);
  }

  SQLHSTMT stmt = statement.handle.Get();
  SQLUSMALLINT parameter = 0;
  // `size` is the column size in the units sent.
  const auto bind_text = [&](char* values, SQLLEN value_stride, SQLLEN* lengths, std::size_t size) {
    return Succeeded(SQLBindParameter(stmt, ++parameter, SQL_PARAM_INPUT, sending_wide_ ? SQL_C_WCHAR : SQL_C_CHAR,
                                      sending_wide_ ? SQL_WVARCHAR : SQL_VARCHAR, std::max<std::size_t>(size, 1), 0,
                                      values, value_stride, lengths));
  };
  // The limit counts characters, the driver counts the units it is sent:
  // a character is up to two UTF-16 units, or up to four bytes of UTF-8 on
  // an ANSI driver (one byte under BYTES, whose limit counts bytes). Declared
  // in those units, a line within the limit is never cut by the driver.
  const std::size_t units_per_character = sending_wide_ ? 2 : (columns_.wide ? 4 : 1);
  const std::size_t line_size = shape_.column_size * units_per_character;
  for (std::size_t i = 0; i < rows; ++i) {
    bool ok = bind_text(strided_.data() + i * sets * stride, static_cast<SQLLEN>(stride), lengths_.data() + i * sets,
                        line_size);
    if (ok && columns_.file_name) {
      ok = bind_text(file_values_.data(), static_cast<SQLLEN>(file_bytes + unit), file_lengths_.data(),
                     file_bytes / unit);
    }
    if (ok && columns_.line_number) {
      ok = Succeeded(SQLBindParameter(stmt, ++parameter, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                      line_values_.data() + i * sets, 0, line_indicators_.data() + i * sets));
    }
    if (ok && columns_.batch_code) {
      ok = bind_text(batch_values_.data(), static_cast<SQLLEN>(batch_bytes + unit), batch_lengths_.data(),
                     batch_bytes / unit);
    }
    if (ok && columns_.file_id) {
      ok = Succeeded(SQLBindParameter(stmt, ++parameter, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                      id_values_.data(), 0, id_indicators_.data()));
    }
    if (!ok) {
      Fail("bind the row values for the insert", SQL_HANDLE_STMT, stmt);
      wide_refusal_ = MayRefuseWide();
      return false;
    }
  }
  return true;
}

bool OdbcBatchInsert::MayRefuseWide() const {
  if (!sending_wide_ || connection_.Wide() != WideText::kUnknown) return false;
  // "Optional feature not implemented", "invalid application buffer type",
  // or a driver's own words for a C type it does not know.
  return std::any_of(failure_.diagnostics.begin(), failure_.diagnostics.end(), [](const OdbcDiagnostic& record) {
    return record.sqlstate == "HYC00" || record.sqlstate == "HY003" || record.sqlstate == "HY004" ||
           record.message.find("C_parameter type") != std::string::npos;
  });
}

bool OdbcBatchInsert::CheckStatuses(const Statement& statement, SQLRETURN rc, std::size_t first, std::size_t sets) {
  const std::size_t rows = statement.rows;
  const auto fail = [&] {
    Fail("insert", SQL_HANDLE_STMT, statement.handle.Get());
    multi_row_refusal_ = MayRefuseMultiRow(statement) && IsSyntaxOrAccessError(failure_.diagnostics);
    wide_refusal_ = MayRefuseWide();
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
    const auto first_row = first + static_cast<std::size_t>(at - statement.statuses.begin()) * rows;
    failure_.first_line = line_numbers_[first_row];
    failure_.last_line = line_numbers_[first_row + rows - 1];
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
