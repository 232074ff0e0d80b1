// One ODBC connection held across the loads of a run, with autocommit off
// so that each load is one transaction that the caller ends.
#pragma once

#include <string>
#include <vector>

#include "destination/odbc/odbc_handles.hpp"

namespace corvanne {

// Whether the connection's driver and server take several rows in one VALUES.
enum class MultiRowValues { kUnknown, kYes, kNo };

// Whether the connection's driver takes text as wide characters (an ANSI
// driver may not).
enum class WideText { kUnknown, kYes, kNo };

// How the server marks a point inside a transaction to roll back to.
enum class SavepointDialect {
  kNone,             // no savepoints known: a failed load rolls back the whole unit
  kSavepoint,        // SAVEPOINT / ROLLBACK TO SAVEPOINT / RELEASE SAVEPOINT (PostgreSQL, SQLite, MySQL, ...)
  kSavepointNoRelease,  // the same without RELEASE (Oracle)
  kSaveTransaction,  // SAVE TRANSACTION / ROLLBACK TRANSACTION (SQL Server)
};

// The dialect of a server by the name its driver gives (SQL_DBMS_NAME).
SavepointDialect SavepointDialectOf(const std::string& dbms_name);

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
  // Runs one statement that returns no rows, inside the open transaction;
  // false with Diagnostics() set.
  bool Execute(const std::string& sql);
  // The server's name for itself (SQL_DBMS_NAME), e.g. "PostgreSQL".
  const std::string& DbmsName() const { return dbms_; }
  SavepointDialect Savepoints() const { return savepoints_; }
  // Marks, undoes to, and forgets the load's savepoint; false with
  // Diagnostics() set (or when the server has no savepoints).
  bool SetSavepoint();
  bool RollbackToSavepoint();
  bool ReleaseSavepoint();
  // Makes every commit so far durable when the connection traded a flush
  // per commit for one at the end (PostgreSQL); true when there was nothing
  // to do. False with Diagnostics() set.
  bool MakeDurable();
  const std::vector<OdbcDiagnostic>& Diagnostics() const { return diagnostics_; }
  // What the inserts learned about multi-row VALUES; kUnknown after Open.
  MultiRowValues MultiRow() const { return multi_row_; }
  void SetMultiRow(MultiRowValues value) { multi_row_ = value; }
  // What the inserts learned about wide characters; kUnknown after Open.
  WideText Wide() const { return wide_; }
  void SetWide(WideText value) { wide_ = value; }

 private:
  OdbcHandle dbc_;                          // allocated while open
  bool open_ = false;                       // SQLDriverConnect succeeded
  std::string quote_;                       // SQL_IDENTIFIER_QUOTE_CHAR
  std::string dbms_;                        // SQL_DBMS_NAME
  SavepointDialect savepoints_ = SavepointDialect::kNone;
  bool deferred_flush_ = false;             // commits are asynchronous until MakeDurable
  std::vector<OdbcDiagnostic> diagnostics_;  // of the last failed call
  MultiRowValues multi_row_ = MultiRowValues::kUnknown;  // learned by the first multi-row insert
  WideText wide_ = WideText::kUnknown;                   // learned by the first wide insert
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
  // Leaves the transaction to someone else: nothing is done at the end.
  void Release() { committed_ = true; }

 private:
  OdbcConnection& connection_;
  bool committed_ = false;
};

}  // namespace corvanne
