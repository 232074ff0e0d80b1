// Helpers for the tests that talk to real servers through the driver
// manager: the servers scripts/test starts, and a tiny SQL client.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "destination/load_request.hpp"
#include "destination/odbc/odbc_connection_string.hpp"
#include "destination/odbc/odbc_handles.hpp"

namespace corvanne::testing {

inline const char* kNeedServers =
    " is not set: run the tests through scripts/test, or `. scripts/lib/test-servers.sh; start_test_servers` "
    "in the shell first";

// The value of the environment variable `name`; adds a test failure naming
// how to get it when it is missing (the test then fails, never skips).
inline std::string ServerEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    ADD_FAILURE() << name << kNeedServers;
    return {};
  }
  return value;
}

// A connection for setting up and inspecting tables; autocommit on.
class SqlClient {
 public:
  // Connects with `connection_string`; fails the test when it cannot.
  explicit SqlClient(const std::string& connection_string) : env_(MakeOdbcEnvironment()) {
    dbc_ = OdbcHandle(SQL_HANDLE_DBC, env_.Get());
    std::string text = connection_string;
    const SQLRETURN rc = SQLDriverConnect(dbc_.Get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    connected_ = Succeeded(rc);
    EXPECT_TRUE(connected_) << "cannot connect the test client: "
                            << FormatDiagnostics(ReadDiagnostics(dbc_), "no reason given");
  }
  ~SqlClient() {
    if (connected_) SQLDisconnect(dbc_.Get());
  }
  SqlClient(const SqlClient&) = delete;
  SqlClient& operator=(const SqlClient&) = delete;

  bool connected() const { return connected_; }

  // Runs `sql`; fails the test (and returns false) when it fails.
  bool Exec(const std::string& sql) {
    if (!connected_) return false;
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
    std::string text = sql;
    const SQLRETURN rc = SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    const bool ok = Succeeded(rc) || rc == SQL_NO_DATA;
    EXPECT_TRUE(ok) << sql << ": " << FormatDiagnostics(ReadDiagnostics(stmt), "no reason given");
    return ok;
  }

  // The first column of every row of `sql`, as bytes ("<NULL>" for null).
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    if (!connected_) return values;
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
    std::string text = sql;
    if (!Succeeded(SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
      ADD_FAILURE() << sql << ": " << FormatDiagnostics(ReadDiagnostics(stmt), "no reason given");
      return values;
    }
    while (Succeeded(SQLFetch(stmt.Get()))) {
      std::string value;
      std::vector<char> buffer(16384);
      SQLLEN length = 0;
      SQLRETURN rc;
      while ((rc = SQLGetData(stmt.Get(), 1, SQL_C_CHAR, buffer.data(), static_cast<SQLLEN>(buffer.size()),
                              &length)) != SQL_NO_DATA &&
             Succeeded(rc)) {
        if (length == SQL_NULL_DATA) {
          value = "<NULL>";
          break;
        }
        const std::size_t got = (length == SQL_NO_TOTAL || static_cast<std::size_t>(length) >= buffer.size())
                                    ? buffer.size() - 1
                                    : static_cast<std::size_t>(length);
        value.append(buffer.data(), got);
        if (rc == SQL_SUCCESS) break;
      }
      values.push_back(value);
    }
    return values;
  }

 private:
  OdbcHandle env_;
  OdbcHandle dbc_;
  bool connected_ = false;
};

// The login of the test PostgreSQL instances.
struct PgLogin {
  std::string user = ServerEnv("CORVANNE_TEST_PG_USER");
  std::string password = ServerEnv("CORVANNE_TEST_PG_PASSWORD");
};

// A load of `path` into `table` (column MyCodeLine) of the data source `dsn`.
inline LoadRequest DsnLoad(const std::string& dsn, const PgLogin& login, const std::string& table,
                           const std::string& path) {
  LoadRequest request;
  request.source_path = path;
  request.row_delimiter = "\r\n";
  request.server = dsn;
  request.user_name = login.user;
  request.password = login.password;
  request.table_name = table;
  request.column_name = "MyCodeLine";
  return request;
}

// "DSN=..;UID=..;PWD=.." for a test client on `dsn`.
inline std::string ClientConnectionString(const std::string& dsn, const PgLogin& login) {
  LoadRequest request;
  request.server = dsn;
  request.user_name = login.user;
  request.password = login.password;
  return DsnConnectionString(request);
}

}  // namespace corvanne::testing
