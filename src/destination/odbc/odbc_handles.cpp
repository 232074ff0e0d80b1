// Owned ODBC handles and diagnostics; see odbc_handles.hpp.
// Everything here is narrow (ANSI) ODBC: lines are bytes and stay bytes.
#include "destination/odbc/odbc_handles.hpp"

#include <algorithm>
#include <utility>

namespace corvanne {

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  if (Succeeded(SQLAllocHandle(type, parent, &handle))) handle_ = handle;
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    type_ = other.type_;
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void OdbcHandle::Reset() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  handle_ = SQL_NULL_HANDLE;
}

std::vector<OdbcDiagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<OdbcDiagnostic> records;
  if (handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT index = 1; index <= 20; ++index) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::string message(1024, '\0');
    SQLRETURN rc = SQLGetDiagRec(type, handle, index, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<std::size_t>(length) + 1, '\0');
      rc = SQLGetDiagRec(type, handle, index, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Succeeded(rc)) break;
    message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size() - 1));
    // Drivers end server texts with line breaks; the report adds its own.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
      message.pop_back();
    }
    records.push_back({reinterpret_cast<const char*>(state), static_cast<long>(native), message});
  }
  return records;
}

std::string FormatDiagnostics(const std::vector<OdbcDiagnostic>& records, const std::string& fallback) {
  if (records.empty()) return fallback;
  std::string out;
  for (const OdbcDiagnostic& record : records) {
    if (!out.empty()) out += "\n";
    out += "[" + record.sqlstate + "] (native error " + std::to_string(record.native) + ") " + record.message;
  }
  return out;
}

bool IsConnectionLost(const std::vector<OdbcDiagnostic>& records) {
  for (const OdbcDiagnostic& record : records) {
    if (record.sqlstate.rfind("08", 0) == 0) return true;
  }
  return false;
}

std::vector<std::string> InstalledDrivers(SQLHENV env) {
  std::vector<std::string> drivers;
  SQLCHAR name[512];
  SQLCHAR attributes[2048];
  SQLSMALLINT name_length = 0;
  SQLSMALLINT attributes_length = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (Succeeded(SQLDrivers(env, direction, name, sizeof name, &name_length, attributes, sizeof attributes,
                              &attributes_length))) {
    drivers.emplace_back(reinterpret_cast<const char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

OdbcHandle MakeOdbcEnvironment() {
  OdbcHandle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  if (env.Valid() &&
      !Succeeded(SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    env.Reset();
  }
  return env;
}

}  // namespace corvanne
