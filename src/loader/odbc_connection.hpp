// One ODBC connection held across the loads of a run, with autocommit off
// so that each load is one transaction that the caller ends.
#pragma once

#include <string>
#include <vector>

#include "loader/odbc_handles.hpp"

namespace corvanne {

// Whether the connection's driver and server take several rows in one VALUES.
enum class MultiRowValues { kUnknown, kYes, kNo };

class OdbcConnection {
 public:
  OdbcConnection() = default;
  ~OdbcConnection() { Close(); }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Connects through `env` without prompting; login and connection timeout
  // `timeout_seconds`; switches autocommit off. False with Diagnostics() set
  // (the connection is then closed).
  bool Open(SQLHENV env, const std::string& connection_string, int timeout_seconds);
  // Rolls back what is open and disconnects; safe when not open.
  void Close();
  bool IsOpen() const { return open_; }
  // True when the driver knows the connection is gone.
  bool IsDead() const;
  SQLHDBC Handle() const { return dbc_.Get(); }
  // The driver's identifier quote ("\"" , "`", ...); empty when it has none.
  const std::string& IdentifierQuote() const { return quote_; }
  // Ends the open transaction; false with Diagnostics() set.
  bool Commit();
  void Rollback();
  const std::vector<OdbcDiagnostic>& Diagnostics() const { return diagnostics_; }
  // What the inserts learned about multi-row VALUES; kUnknown after Open.
  MultiRowValues MultiRow() const { return multi_row_; }
  void SetMultiRow(MultiRowValues value) { multi_row_ = value; }

 private:
  OdbcHandle dbc_;                          // allocated while open
  bool open_ = false;                       // SQLDriverConnect succeeded
  std::string quote_;                       // SQL_IDENTIFIER_QUOTE_CHAR
  std::vector<OdbcDiagnostic> diagnostics_;  // of the last failed call
  MultiRowValues multi_row_ = MultiRowValues::kUnknown;  // learned by the first multi-row insert
};

// Rolls the connection's transaction back on every exit unless Commit()
// succeeded: a failed load leaves nothing behind.
class OdbcTransaction {
 public:
  explicit OdbcTransaction(OdbcConnection& connection) : connection_(connection) {}
  ~OdbcTransaction() {
    if (!committed_) connection_.Rollback();
  }
  OdbcTransaction(const OdbcTransaction&) = delete;
  OdbcTransaction& operator=(const OdbcTransaction&) = delete;

  bool Commit() { return committed_ = connection_.Commit(); }

 private:
  OdbcConnection& connection_;
  bool committed_ = false;
};

}  // namespace corvanne
