// Owned ODBC handles and their diagnostics: the thin layer between the ODBC
// destination and the driver manager (unixODBC here, the system's on Windows).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace corvanne {

// One ODBC handle; freed on destruction. Move-only.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  // Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for the
  // environment); check Valid() after.
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~OdbcHandle() { Reset(); }
  OdbcHandle(OdbcHandle&& other) noexcept;
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  bool Valid() const { return handle_ != SQL_NULL_HANDLE; }
  SQLHANDLE Get() const { return handle_; }
  SQLSMALLINT Type() const { return type_; }
  // Frees the handle now (a connection must be disconnected first).
  void Reset();

 private:
  SQLSMALLINT type_ = 0;               // SQL_HANDLE_ENV, _DBC or _STMT
  SQLHANDLE handle_ = SQL_NULL_HANDLE;  // owned
};

// One diagnostic record as the driver (or driver manager) gave it.
struct OdbcDiagnostic {
  std::string sqlstate;  // five characters, e.g. "08001"
  long native = 0;       // the server's or driver's own error number
  std::string message;   // e.g. "[unixODBC][Driver Manager]Data source name not found..."
};

// Every diagnostic record of `handle` (in order; empty when there are none).
std::vector<OdbcDiagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);
inline std::vector<OdbcDiagnostic> ReadDiagnostics(const OdbcHandle& handle) {
  return ReadDiagnostics(handle.Type(), handle.Get());
}

// "[SQLSTATE] (native error N) message", one record a line; `fallback`
// when there are no records.
std::string FormatDiagnostics(const std::vector<OdbcDiagnostic>& records, const std::string& fallback);

// True when a record's SQLSTATE is of class 08 (connection exception): the
// connection is gone and whatever it had not committed is rolled back.
bool IsConnectionLost(const std::vector<OdbcDiagnostic>& records);

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The driver names the driver manager knows (SQLDrivers), in its order.
std::vector<std::string> InstalledDrivers(SQLHENV env);

// A new ODBC 3 environment; invalid when the driver manager refuses one.
OdbcHandle MakeOdbcEnvironment();

}  // namespace corvanne
