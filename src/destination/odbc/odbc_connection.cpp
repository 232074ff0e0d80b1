// One ODBC connection of a run; see odbc_connection.hpp.
// Narrow (ANSI) calls throughout: lines are bytes and are bound as bytes.
#include "destination/odbc/odbc_connection.hpp"

#include <algorithm>
#include <cctype>

namespace corvanne {

namespace {

constexpr const char* kSavepointName = "corvanne_load";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

SavepointDialect SavepointDialectOf(const std::string& dbms_name) {
  const std::string name = Lower(dbms_name);
  const auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
  if (has("sql server")) return SavepointDialect::kSaveTransaction;
  if (has("oracle")) return SavepointDialect::kSavepointNoRelease;
  if (has("postgres") || has("sqlite") || has("mysql") || has("mariadb") || has("db2") || has("firebird") ||
      has("hdb") || has("snowflake")) {
    return SavepointDialect::kSavepoint;
  }
  return SavepointDialect::kNone;
}

bool OdbcConnection::Open(SQLHENV env, const std::string& connection_string, int timeout_seconds) {
  Close();
  diagnostics_.clear();
  multi_row_ = MultiRowValues::kUnknown;
  wide_ = WideText::kUnknown;
  dbc_ = OdbcHandle(SQL_HANDLE_DBC, env);
  if (!dbc_.Valid()) {
    diagnostics_ = ReadDiagnostics(SQL_HANDLE_ENV, env);
    return false;
  }
  const auto timeout = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_seconds > 0 ? timeout_seconds : 0));
  // Not every driver knows both; a refusal leaves the driver's default.
  SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT, timeout, 0);
  SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_CONNECTION_TIMEOUT, timeout, 0);
  std::string text = connection_string;  // the API takes a non-const pointer
  SQLCHAR completed[1024];
  SQLSMALLINT completed_length = 0;
  SQLRETURN rc = SQLDriverConnect(dbc_.Get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, completed,
                                  sizeof completed, &completed_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    diagnostics_ = ReadDiagnostics(dbc_);
    dbc_.Reset();
    return false;
  }
  open_ = true;
  rc = SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  if (!Succeeded(rc)) {
    // Without a transaction a failed load would leave rows behind.
    diagnostics_ = ReadDiagnostics(dbc_);
    diagnostics_.push_back({"HYC00", 0, "the driver cannot switch autocommit off, so a load cannot be undone"});
    Close();
    return false;
  }
  char quote[8] = {};
  SQLSMALLINT quote_length = 0;
  quote_.clear();
  if (Succeeded(SQLGetInfo(dbc_.Get(), SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quote_length)) &&
      quote[0] != ' ') {
    quote_ = quote;
  }
  char dbms[128] = {};
  SQLSMALLINT dbms_length = 0;
  dbms_.clear();
  if (Succeeded(SQLGetInfo(dbc_.Get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbms_length))) dbms_ = dbms;
  savepoints_ = SavepointDialectOf(dbms_);
  deferred_flush_ = false;
  if (Lower(dbms_).find("postgres") != std::string::npos) {
    // A flush of the log per file costs about a millisecond; the server
    // flushes it once at the end instead (MakeDurable), which covers every
    // commit before it. A failed load is still rolled back as always.
    deferred_flush_ = Execute("SET synchronous_commit TO off") && Commit();
    if (!deferred_flush_) Rollback();
  }
  return true;
}

bool OdbcConnection::Execute(const std::string& sql) {
  OdbcHandle statement(SQL_HANDLE_STMT, dbc_.Get());
  if (!statement.Valid()) {
    diagnostics_ = ReadDiagnostics(dbc_);
    return false;
  }
  std::string text = sql;  // the API takes a non-const pointer
  if (Succeeded(SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) return true;
  diagnostics_ = ReadDiagnostics(statement);
  return false;
}

bool OdbcConnection::SetSavepoint() {
  switch (savepoints_) {
    case SavepointDialect::kSavepoint:
    case SavepointDialect::kSavepointNoRelease:
      return Execute(std::string("SAVEPOINT ") + kSavepointName);
    case SavepointDialect::kSaveTransaction:
      return Execute(std::string("SAVE TRANSACTION ") + kSavepointName);
    case SavepointDialect::kNone:
      break;
  }
  return false;
}

bool OdbcConnection::RollbackToSavepoint() {
  switch (savepoints_) {
    case SavepointDialect::kSavepoint:
    case SavepointDialect::kSavepointNoRelease:
      return Execute(std::string("ROLLBACK TO SAVEPOINT ") + kSavepointName);
    case SavepointDialect::kSaveTransaction:
      return Execute(std::string("ROLLBACK TRANSACTION ") + kSavepointName);
    case SavepointDialect::kNone:
      break;
  }
  return false;
}

bool OdbcConnection::ReleaseSavepoint() {
  if (savepoints_ != SavepointDialect::kSavepoint) return true;  // the others keep it until the transaction ends
  return Execute(std::string("RELEASE SAVEPOINT ") + kSavepointName);
}

bool OdbcConnection::MakeDurable() {
  if (!open_ || !deferred_flush_) return true;
  // A synchronous commit flushes the log up to its own commit record, and
  // with it every earlier commit; but only a transaction that wrote to the
  // log waits for that (a mere transaction id does not). Creating a
  // temporary table writes catalog rows to the log; it goes at the commit.
  const bool ok = Execute("SET synchronous_commit TO on") &&
                  Execute("CREATE TEMPORARY TABLE corvanne_durable (flushed integer) ON COMMIT DROP") && Commit();
  if (!ok) Rollback();
  deferred_flush_ = !ok;
  return ok;
}

void OdbcConnection::Close() {
  if (open_) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_.Get(), SQL_ROLLBACK);
    SQLDisconnect(dbc_.Get());
    open_ = false;
  }
  dbc_.Reset();
}

bool OdbcConnection::IsDead() const {
  if (!open_) return true;
  SQLUINTEGER dead = SQL_CD_FALSE;
  return Succeeded(SQLGetConnectAttr(dbc_.Get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE;
}

bool OdbcConnection::Commit() {
  if (Succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_.Get(), SQL_COMMIT))) return true;
  diagnostics_ = ReadDiagnostics(dbc_);
  return false;
}

void OdbcConnection::Rollback() {
  if (open_) SQLEndTran(SQL_HANDLE_DBC, dbc_.Get(), SQL_ROLLBACK);
}

}  // namespace corvanne
