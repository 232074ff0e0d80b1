// One prepared single-parameter INSERT that sends lines in arrays of
// parameters, so a large file does not cost one round trip per line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loader/odbc_handles.hpp"

namespace corvanne {

// Why an insert stopped.
struct OdbcInsertFailure {
  std::vector<OdbcDiagnostic> diagnostics;  // of the statement (or connection)
  int64_t first_line = 0;                   // first line of the failed batch (1-based; 0: none)
  int64_t last_line = 0;                    // last line of the failed batch
  int64_t failed_line = 0;                  // the line the driver marked as failed; 0 when unknown
  std::string what;                         // what was tried: "insert", "prepare the insert", ...
};

// Lines in, rows out, through `sql` (one "?" parameter). Not thread-safe;
// lives for one load on one connection, inside the caller's transaction.
class OdbcBatchInsert {
 public:
  // `batch_rows` lines per execute (1: row by row); `column_size` is the
  // declared size of the varchar parameter.
  OdbcBatchInsert(std::size_t batch_rows, std::size_t column_size);

  // Prepares `sql` on `dbc` and settles the batch size: row by row when the
  // driver refuses parameter arrays. False with Failure() set on error.
  bool Prepare(SQLHDBC dbc, const std::string& sql);
  // Buffers one line (copied) and sends the batch when it is full.
  bool Add(std::string_view line, int64_t line_number);
  // Sends what is buffered. Every row is confirmed by the driver's status
  // array before success is returned.
  bool Flush();

  std::size_t BatchRows() const { return batch_rows_; }
  const OdbcInsertFailure& Failure() const { return failure_; }

 private:
  bool Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle);
  bool CheckStatuses(SQLRETURN rc, std::size_t rows);

  std::size_t batch_rows_;              // rows per execute, settled by Prepare
  std::size_t column_size_;             // declared parameter size
  OdbcHandle stmt_;                     // the prepared INSERT
  std::string arena_;                   // bytes of the buffered lines, back to back
  std::vector<std::size_t> offsets_;    // start of each buffered line in arena_
  std::vector<char> strided_;           // the bound column: rows x stride bytes
  std::vector<SQLLEN> lengths_;         // byte length of each bound row
  std::vector<SQLUSMALLINT> statuses_;  // the driver's verdict per row
  SQLULEN processed_ = 0;               // rows the driver processed in the last execute
  int64_t first_line_ = 0;              // line number of the first buffered line
  OdbcInsertFailure failure_;
};

}  // namespace corvanne
