// Helpers for the runs into the test PostgreSQL servers of scripts/test
// through the native engine: a configuration that names them, and a small
// libpq client that sets tables up and reads them back.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace corvanne::testing {

// The value of the environment variable `name`; a test failure naming how
// to get it when missing (the test then fails, never skips).
inline std::string PgEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    ADD_FAILURE() << name << " is not set: run the tests through scripts/test, or "
                  << "`. scripts/lib/test-servers.sh; start_test_servers` in the shell first";
    return {};
  }
  return value;
}

// The configuration keys of a POSTGRESQL run into the server on `port_variable`.
inline std::map<std::string, std::string> PgConfig(const char* port_variable = "CORVANNE_TEST_PG_PORT") {
  return {{"DESTINATION_ENGINE", "POSTGRESQL"},
          {"SQL_SERVER_NAME", PgEnv("CORVANNE_TEST_PG_HOST") + ":" + PgEnv(port_variable)},
          {"SQL_SERVER_DATABASE_NAME", PgEnv("CORVANNE_TEST_PG_DATABASE")},
          {"UNATTENDED_RUN_USER_NAME", PgEnv("CORVANNE_TEST_PG_USER")},
          {"UNATTENDED_RUN_PASSWORD", PgEnv("CORVANNE_TEST_PG_PASSWORD")},
          {"UNATTENDED_YES_NO", "YES"}};
}

// A connection for setting up and reading tables; autocommit on.
class PgClient {
 public:
  explicit PgClient(const char* port_variable = "CORVANNE_TEST_PG_PORT") {
    const std::string host = PgEnv("CORVANNE_TEST_PG_HOST");
    const std::string port = PgEnv(port_variable);
    const std::string database = PgEnv("CORVANNE_TEST_PG_DATABASE");
    const std::string user = PgEnv("CORVANNE_TEST_PG_USER");
    const std::string password = PgEnv("CORVANNE_TEST_PG_PASSWORD");
    const char* keywords[] = {"host", "port", "dbname", "user", "password", "client_encoding", nullptr};
    const char* values[] = {host.c_str(), port.c_str(), database.c_str(), user.c_str(), password.c_str(), "UTF8",
                            nullptr};
    conn_ = PQconnectdbParams(keywords, values, 0);
    EXPECT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
    Exec("SET client_min_messages TO warning");
  }
  ~PgClient() { PQfinish(conn_); }
  PgClient(const PgClient&) = delete;
  PgClient& operator=(const PgClient&) = delete;

  // Runs `sql`; a test failure when it fails.
  void Exec(const std::string& sql) {
    PGresult* result = PQexec(conn_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn_);
    PQclear(result);
  }
  // The first column of every row of `sql`; a NULL reads "NULL".
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> rows;
    PGresult* result = PQexec(conn_, sql.c_str());
    EXPECT_EQ(PQresultStatus(result), PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn_);
    for (int row = 0; row < PQntuples(result); ++row) {
      rows.push_back(PQgetisnull(result, row, 0) ? std::string("NULL")
                                                  : std::string(PQgetvalue(result, row, 0),
                                                                static_cast<std::size_t>(PQgetlength(result, row, 0))));
    }
    PQclear(result);
    return rows;
  }

 private:
  PGconn* conn_ = nullptr;
};

}  // namespace corvanne::testing
