// Multi-row INSERTs for the ODBC destination: many lines per statement, each
// its own parameter, so the server runs one statement per chunk, not per line.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "destination/odbc/odbc_connection.hpp"
#include "destination/odbc/odbc_handles.hpp"
#include "destination/row_sink.hpp"

namespace corvanne {

// SQL Server takes at most 1000 rows in one VALUES list and 2100 parameters
// per statement, the tightest limits among common servers.
inline constexpr std::size_t kMaxRowsPerStatement = 1000;
inline constexpr std::size_t kMaxParametersPerStatement = 2000;

// The columns of each row after the line text, in this order when present.
struct OdbcRowColumns {
  bool file_name = false;    // the file's path: one value for the whole load
  bool line_number = false;  // the row's line number; NULL for a row without one
  bool batch_code = false;   // the batch code: one value for the whole load
  bool wide = false;         // text goes as wide characters (UTF-16) so the server stores true text; else bytes
  bool file_id = false;      // the file's id in the companion table: one value for the whole load (last column)
};

// How lines are grouped on their way to the server.
struct OdbcInsertShape {
  std::size_t rows_per_statement = 500;    // VALUES rows per INSERT (1: one row per statement); capped at the maximum
  std::size_t statements_per_execute = 1;  // parameter sets per execute where the driver takes arrays
  std::size_t column_size = 8000;          // the line limit in characters; the line parameter is declared in units sent
};

// Why an insert stopped.
struct OdbcInsertFailure {
  std::vector<OdbcDiagnostic> diagnostics;  // of the statement (or connection)
  int64_t first_line = 0;                   // first line of the failed statement (1-based; 0: none)
  int64_t last_line = 0;                    // last line of the failed statement
  int64_t failed_line = 0;                  // the line the driver marked as failed; 0 when unknown
  std::string what;                         // what was tried: "insert", "prepare the insert", ...
};

// Lines in, rows out, through "<prefix>(?,..),(?,..),...". Not thread-safe;
// serves the loads of one connection, one after the other, each inside the
// caller's transaction. Its prepared statements are kept from load to load:
// preparing and dropping one costs more round trips than the rows of a
// small file. It must go before its connection does.
class OdbcBatchInsert final : public RowSink {
 public:
  // `insert_prefix` is "INSERT INTO t (c, ...) VALUES " with names already
  // checked and the columns in OdbcRowColumns order.
  OdbcBatchInsert(OdbcConnection& connection, std::string insert_prefix, const OdbcInsertShape& shape,
                  const OdbcRowColumns& columns);
  OdbcBatchInsert(const OdbcBatchInsert&) = delete;  // the driver holds pointers into it
  OdbcBatchInsert& operator=(const OdbcBatchInsert&) = delete;

  // True when this insert writes `insert_prefix` with `shape` and `columns`.
  bool Fits(const std::string& insert_prefix, const OdbcInsertShape& shape, const OdbcRowColumns& columns) const;
  // Starts a load: the values of the file-name and batch-code columns for
  // every row; `undo`, which takes back what this load sent so far (and
  // nothing before it), true when it could; and `mark` (may be empty), called
  // once before the first statement of a load whose rows fill more than one
  // chunk (a shorter load can be taken back by the caller without it), false
  // when the load cannot go on. Both are called only while this load's rows
  // are added.
  void BeginLoad(std::string file_name, std::string batch_code, int64_t file_id, std::function<bool()> undo,
                 std::function<bool()> mark);
  // Buffers one line (copied) and sends the buffer when it is full.
  bool Add(std::string_view line, int64_t line_number) override;
  // Sends what is buffered: full chunks through the multi-row statement, the
  // rest through one statement of its own size. Every row is confirmed by
  // the driver before success is returned. A driver that refuses multi-row
  // VALUES on its first try is used one row per statement from then on (for
  // the life of the connection). False with Failure() set on error.
  bool Flush() override;

  const OdbcInsertFailure& Failure() const { return failure_; }

 private:
  // One prepared INSERT and the per-set verdicts the driver writes into.
  struct Statement {
    OdbcHandle handle;                    // invalid until prepared
    std::size_t rows = 0;                 // VALUES rows, one parameter each
    std::size_t sets = 1;                 // parameter sets per execute (1: no arrays)
    std::vector<SQLUSMALLINT> statuses;   // the driver's verdict per set
    SQLULEN processed = 0;                // sets the driver processed in the last execute
  };

  bool Prepare(Statement& statement, std::size_t rows, std::size_t sets);
  // Calls mark_ once; false with Failure() set (and the buffer dropped) when it fails.
  bool MarkLoad();
  bool SendBuffered();
  // Sends `sets` x statement.rows buffered lines from buffered line `first`.
  bool Send(Statement& statement, std::size_t first, std::size_t sets);
  bool CheckStatuses(const Statement& statement, SQLRETURN rc, std::size_t first, std::size_t sets);
  bool Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle);
  bool MayRefuseMultiRow(const Statement& statement) const;
  // True when the last failure may be the driver refusing wide characters.
  bool MayRefuseWide() const;

  // Binds the parameters of `statement` for `sets` sets of buffered lines from `first`.
  bool Bind(Statement& statement, std::size_t first, std::size_t sets);
  std::size_t ColumnsPerRow() const;

  OdbcConnection& connection_;
  std::string prefix_;                  // "INSERT INTO t (c, ...) VALUES "
  OdbcRowColumns columns_;              // the optional columns written
  std::function<bool()> undo_;          // takes back what this load sent
  std::function<bool()> mark_;          // marks the start of a load of several statements; empty once called
  std::string file_name_;               // value of the file-name column
  std::string batch_code_;              // value of the batch-code column
  std::vector<char> file_values_;       // file_name_ once per set, stride file_name_.size() + 1
  std::vector<char> batch_values_;      // batch_code_ once per set
  std::vector<SQLLEN> file_lengths_;    // per set
  std::vector<SQLLEN> batch_lengths_;   // per set
  int64_t file_id_ = 0;                 // value of the file-id column
  std::vector<SQLBIGINT> id_values_;    // file_id_ once per set
  std::vector<SQLLEN> id_indicators_;   // per set
  std::vector<int64_t> line_numbers_;   // of the buffered lines, 0: none
  std::vector<SQLBIGINT> line_values_;  // bound line numbers, parameter-major like strided_
  std::vector<SQLLEN> line_indicators_; // their lengths or SQL_NULL_DATA
  OdbcInsertShape asked_;               // the shape asked for
  OdbcInsertShape shape_;               // as asked, rows capped
  Statement main_;                      // full chunks
  std::map<std::size_t, Statement> tails_;  // for the rows after the last full chunk, by their number
  bool multi_row_refusal_ = false;      // the last failure may be the driver refusing multi-row VALUES
  // Appends `text` (UTF-8) to `out` as the bytes the driver is given: UTF-16
  // code units when wide, else unchanged; false when it is not UTF-8.
  bool Encode(std::string_view text, std::string& out);

  bool wide_ = false;                   // text goes as UTF-16 (asked for, and the driver takes it)
  bool sending_wide_ = false;           // the statement being bound goes as UTF-16
  bool wide_refusal_ = false;           // the last failure may be the driver refusing wide characters
  std::u16string wide_scratch_;         // one text as UTF-16 on its way into encoded_
  std::string encoded_;                 // the lines of one execute as UTF-16 bytes (wide_ only)
  std::vector<std::size_t> encoded_offsets_;  // start of each of them in encoded_
  std::string arena_;                   // UTF-8 (or, under BYTES, raw) bytes of the buffered lines, back to back
  std::vector<std::size_t> offsets_;    // start of each buffered line in arena_
  std::vector<char> strided_;           // bound values: parameter-major, sets x stride bytes per parameter
  std::vector<SQLLEN> lengths_;         // byte length of each bound value, same order
  OdbcInsertFailure failure_;
};

}  // namespace corvanne
