// The built program, unattended, loading one tree into PostgreSQL through
// ODBC: the same rows as into SQLite, and failures that read well.
#include <gtest/gtest.h>


#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "odbc_test_support.hpp"
#include "run/binary_runner.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;
using Rows = std::vector<std::string>;

struct Outcome {
  int status = -1;
  std::string err;
};

class OdbcEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dsn_.empty());
    client_ = std::make_unique<SqlClient>(testing::ClientConnectionString(dsn_, login_));
    ASSERT_TRUE(client_->connected());
    client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
    client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine text)");
    dir_.Write("src/p1/a.frm", "VERSION 5.00\r\nPrivate Sub A()\r\n  x = `1` ' caf\xc3\xa9\r\n\r\nEnd Sub\r\n");
    dir_.Write("src/p2/b.bas", "b1\nb2");
    dir_.Write("src/p2/c.cls", "");
    dir_.Write("src/p2/deep/d.FRM", "'); DROP TABLE \"" + table_ + "\"; --\r\n");
  }
  void TearDown() override {
    if (client_ && client_->connected()) client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  }

  // Runs the program (with `options`) on a MyConfig.xml with the base keys
  // and `changes`; `out` receives its standard output.
  Outcome Run(const std::map<std::string, std::string>& changes, const std::string& options = "",
              std::string* out = nullptr) {
    std::map<std::string, std::string> values = {
        {"UNATTENDED_RUN_USER_NAME", login_.user},
        {"UNATTENDED_RUN_PASSWORD", login_.password},
        {"SOURCE_FOLDERS_LIST", dir_.Path("src")},
        {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"DESTINATION_TABLE_NAME", "[" + table_ + "]"},
        {"UNATTENDED_YES_NO", "YES"},
    };
    for (const auto& [key, value] : changes) values[key] = value;
    std::string config = "<CONFIG>\n";
    for (const auto& [key, value] : values) config += "<" + key + ">" + value + "</" + key + ">\n";
    dir_.Write("MyConfig.xml", config + "</CONFIG>\n");
    std::vector<std::string> args;
    for (std::size_t at = options.find_first_not_of(' '); at != std::string::npos;
         at = options.find_first_not_of(' ', at)) {
      const std::size_t end = options.find(' ', at);
      args.push_back(options.substr(at, end - at));
      at = end;
    }
    args.insert(args.end(), {"--config", dir_.Path("MyConfig.xml")});
    const testing::Outcome outcome = testing::RunBinary(dir_, args);
    if (out != nullptr) *out = outcome.out;
    return {outcome.status, outcome.err};
  }

  // Rows with the values that differ from run to run (batch, date) blanked.
  static Rows Comparable(Rows rows) {
    static const std::regex varying("<(BATCH_CODE|DATE_TIME)>[^<]*</");
    for (std::string& row : rows) row = std::regex_replace(row, varying, "<$1></");
    return rows;
  }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string dsn_ = ServerEnv("CORVANNE_TEST_PG_DSN");
  // One table per test: ctest runs the tests of this suite side by side.
  std::string table_ = std::string("T_E2E_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::unique_ptr<SqlClient> client_;
};

TEST_F(OdbcEndToEndTest, SameRowsThroughOdbcAsIntoSqlite) {
  const Outcome sqlite = Run({{"DESTINATION_ENGINE", "SQLITE"}, {"SQL_SERVER_DATABASE_NAME", dir_.Path("out.db")}});
  ASSERT_EQ(sqlite.status, 0) << sqlite.err;
  const Outcome odbc = Run({{"DESTINATION_ENGINE", "odbc"}, {"SQL_SERVER_NAME", dsn_}});
  ASSERT_EQ(odbc.status, 0) << odbc.err;
  // Only the closing line: no message.
  EXPECT_EQ(odbc.err.substr(0, odbc.err.find(" in ")), "corvanne: 3 files loaded, 1 passed over, 0 failed, 8 lines");

  // Read here, not through the SQLite ODBC driver: under Wine that driver
  // is the host's, which takes no Windows path.
  const Rows expected = testing::ReadColumn(dir_.Path("out.db"), "SELECT MyCodeLine FROM " + table_ + " ORDER BY rowid");
  ASSERT_EQ(expected.size(), 7u + 4 + 3);  // a.frm, b.bas, d.FRM, each between its two markers
  const Rows actual = client_->Column("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId");
  EXPECT_EQ(Comparable(actual), Comparable(expected));
  EXPECT_NE(actual.front().find("<TASK_STATUS>BEGINS</TASK_STATUS>"), std::string::npos) << actual.front();
}

// A destination that cannot be used at the start is one error, not one per
// file: the run does not start.
TEST_F(OdbcEndToEndTest, UnusableDestinationStopsTheRunWithOneMessage) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> changes;
    const char* cause;  // the driver's or server's words
  } cases[] = {
      {"wrong password", {{"UNATTENDED_RUN_PASSWORD", login_.password + "x"}}, "password authentication failed"},
      {"missing table", {{"DESTINATION_TABLE_NAME", "[NoSuchTable]"}}, "\"NoSuchTable\" does not exist"},
      {"missing column", {{"DESTINATION_LINE_NUMBER_COLUMN_NAME", "NoSuchColumn"}}, "nosuchcolumn"},
      {"unknown data source", {{"SQL_SERVER_NAME", "NoSuchDsn"}}, "Data source name not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> changes = {
        {"DESTINATION_ENGINE", "ODBC"}, {"SQL_SERVER_NAME", dsn_}, {"UNATTENDED_RUN_PASSWORD", login_.password}};
    for (const auto& [key, value] : c.changes) changes[key] = value;
    const Outcome outcome = Run(changes);
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_EQ(outcome.err.find(" Step failed"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("corvanne: cannot open the destination, nothing was loaded: ODBC data source \"" +
                               changes["SQL_SERVER_NAME"] + "\""),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find(c.cause), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find(login_.password), std::string::npos);
    EXPECT_EQ(outcome.err.find(changes["UNATTENDED_RUN_PASSWORD"]), std::string::npos);
    // The pre-flight check says the same, and loads nothing either.
    std::string report;
    const Outcome checked = Run(changes, " --check", &report);
    EXPECT_EQ(checked.status, 2) << report;
    EXPECT_NE(report.find("error: destination: ODBC data source \"" + changes["SQL_SERVER_NAME"] + "\""),
              std::string::npos)
        << report;
    EXPECT_NE(report.find(c.cause), std::string::npos) << report;
    EXPECT_EQ(report.find(changes["UNATTENDED_RUN_PASSWORD"]), std::string::npos);
  }
  EXPECT_TRUE(client_->Column("SELECT MyCodeLine FROM \"" + table_ + "\"").empty());
}

}  // namespace
}  // namespace corvanne
