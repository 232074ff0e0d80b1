// One ODBC connection of a run; see odbc_connection.hpp.
// Narrow (ANSI) calls throughout: lines are bytes and are bound as bytes.
#include "loader/odbc_connection.hpp"

namespace corvanne {

bool OdbcConnection::Open(SQLHENV env, const std::string& connection_string, int timeout_seconds) {
  Close();
  diagnostics_.clear();
  multi_row_ = MultiRowValues::kUnknown;
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
  return true;
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
