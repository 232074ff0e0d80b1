// The ODBC destination against the PostgreSQL server and the SQLite ODBC
// driver that scripts/test registers: rows, all-or-nothing, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "destination/odbc/odbc_destination.hpp"
#include "destination/sqlite/sqlite_destination.hpp"
#include "odbc_test_support.hpp"
#include "run/binary_runner.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;

// One table per test, so tests may run side by side on one server.
class OdbcPgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dsn_ = ServerEnv("CORVANNE_TEST_PG_DSN");
    ASSERT_FALSE(dsn_.empty());
    client_ = std::make_unique<SqlClient>(testing::ClientConnectionString(dsn_, login_));
    ASSERT_TRUE(client_->connected());
    table_ = std::string("T_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateTable("text");
  }
  void TearDown() override {
    if (client_ && client_->connected()) client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  }

  void CreateTable(const std::string& column_type) {
    client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
    client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine " + column_type + ")");
  }

  // A load of `path` into this test's table, as the ODBC engine is configured.
  LoadRequest Request(const std::string& path, const std::string& dsn = {}) const {
    LoadRequest request;
    request.source_path = path;
    request.row_delimiter = "\r\n";
    request.server = dsn.empty() ? dsn_ : dsn;
    request.user_name = login_.user;
    request.password = login_.password;
    request.table_name = "[" + table_ + "]";
    request.column_name = "MyCodeLine";
    return request;
  }

  std::vector<std::string> Rows() { return client_->Column("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId"); }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string dsn_;
  std::string table_;
  std::unique_ptr<SqlClient> client_;
};

struct ContentCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> rows;
};

std::vector<ContentCase> ContentCases() {
  const std::string at_limit(8000, 'x');
  return {
      {"CRLF and LF mixed, no final break", "a\r\nb\nc", {"a", "b", "c"}},
      {"empty lines are empty rows", "\r\n\r\nz\r\n", {"", "", "z"}},
      {"SQL-looking text is only text", "'); DROP TABLE x; --\n`grave`\t\"q\"\n", {"'); DROP TABLE x; --", "`grave`\t\"q\""}},
      {"UTF-8 kept byte for byte", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac\n\xef\xbb\xbf" "bom\n",
       {"Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac", "\xef\xbb\xbf" "bom"}},
      {"a line at the limit", at_limit + "\nshort\n", {at_limit, "short"}},
  };
}

TEST_F(OdbcPgTest, LoadsEveryLineInOrderWhateverTheBatchSizeAndDriver) {
  struct Driver {
    const char* name;
    std::string dsn;
  } drivers[] = {{"Unicode driver", dsn_}, {"ANSI driver", ServerEnv("CORVANNE_TEST_PG_ANSI_DSN")}};
  for (const Driver& driver : drivers) {
    for (std::size_t batch : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
      auto destination = MakeOdbcDestination(Engine::kOdbc, {batch});
      for (const ContentCase& c : ContentCases()) {
        SCOPED_TRACE(std::string(driver.name) + ", batch " + std::to_string(batch) + ": " + c.name);
        client_->Exec("TRUNCATE \"" + table_ + "\"");
        const LoadResult result = destination->Load(Request(dir_.Write("f.bas", c.bytes), driver.dsn));
        ASSERT_TRUE(result.ok) << result.source << "\n" << result.description;
        EXPECT_EQ(result.rows, static_cast<int64_t>(c.rows.size()));
        EXPECT_EQ(Rows(), c.rows);
      }
    }
  }
}

// Lines 1..count, with line `long_line` too long for a varchar(20) column.
std::string NumberedLines(int count, int long_line) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += i == long_line ? std::string(30, 'L') : "line " + std::to_string(i);
    text += "\r\n";
  }
  return text;
}

TEST_F(OdbcPgTest, AFailedLineLeavesNothingOfItsFileAndNamesTheLine) {
  CreateTable("varchar(20)");
  struct Case {
    const char* name;
    std::size_t batch;
    int long_line;
  } cases[] = {{"row by row", 1, 1500}, {"in arrays", 1000, 1500}, {"first line", 1000, 1}, {"last line", 7, 2500}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto destination = MakeOdbcDestination(Engine::kOdbc, {c.batch});
    const LoadResult failed = destination->Load(Request(dir_.Write("long.bas", NumberedLines(2500, c.long_line))));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.rows, 0);
    EXPECT_EQ(failed.source, "ODBC data source \"" + dsn_ + "\"");
    EXPECT_NE(failed.description.find(dir_.Path("long.bas")), std::string::npos) << failed.description;
    EXPECT_NE(failed.description.find("22001"), std::string::npos) << failed.description;
    // The exact line when the driver singles it out, else the lines of the
    // array that held it.
    const int first = c.batch == 1 ? c.long_line : (c.long_line - 1) / static_cast<int>(c.batch) * static_cast<int>(c.batch) + 1;
    const int last = std::min(2500, first + static_cast<int>(c.batch) - 1);
    const std::string exact = "\" line " + std::to_string(c.long_line) + ": cannot insert into";
    const std::string range =
        "\" lines " + std::to_string(first) + " to " + std::to_string(last) + ": cannot insert into";
    EXPECT_TRUE(failed.description.find(exact) != std::string::npos ||
                failed.description.find(range) != std::string::npos)
        << failed.description;
    EXPECT_TRUE(Rows().empty());
    // The same connection goes on: the failed transaction was rolled back.
    const LoadResult next = destination->Load(Request(dir_.Write("ok.bas", "fine\r\n")));
    EXPECT_TRUE(next.ok) << next.description;
    EXPECT_EQ(Rows(), std::vector<std::string>{"fine"});
    client_->Exec("TRUNCATE \"" + table_ + "\"");
  }
}

TEST_F(OdbcPgTest, RowByRowNamesTheExactLine) {
  CreateTable("varchar(20)");
  auto destination = MakeOdbcDestination(Engine::kOdbc, {1});
  const LoadResult failed = destination->Load(Request(dir_.Write("long.bas", NumberedLines(40, 17))));
  EXPECT_NE(failed.description.find("\"" + dir_.Path("long.bas") + "\" line 17:"), std::string::npos)
      << failed.description;
}

TEST_F(OdbcPgTest, FailuresReadWellAndNeverShowThePassword) {
  struct Case {
    const char* name;
    std::function<void(LoadRequest&)> change;
    const char* expected_text;  // in the description
  } cases[] = {
      {"wrong password", [](LoadRequest& r) { r.password += "-wrong;{}"; }, "password authentication failed"},
      {"unknown data source", [](LoadRequest& r) { r.server = "NoSuchDsn"; }, "Data source name not found"},
      {"missing table", [](LoadRequest& r) { r.table_name = "[NoSuchTable]"; }, "NoSuchTable"},
      {"missing column", [](LoadRequest& r) { r.column_name = "NoSuchColumn"; }, "nosuchcolumn"},
      {"table name that is not a name", [](LoadRequest& r) { r.table_name = "t; DROP TABLE t"; },
       "is not a valid identifier"},
      {"column name that is not a name", [](LoadRequest& r) { r.column_name = "c) --"; },
       "is not a valid identifier"},
      {"unreadable source", [](LoadRequest& r) { r.source_path += ".missing"; }, "cannot open source file"},
  };
  const std::string path = dir_.Write("code.bas", "one\r\ntwo\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto destination = MakeOdbcDestination(Engine::kOdbc);
    LoadRequest request = Request(path);
    c.change(request);
    // Twice: the second load of a run that could not connect fails at once
    // with the same diagnostics.
    const LoadResult first = destination->Load(request);
    const LoadResult second = destination->Load(request);
    for (const LoadResult& result : {first, second}) {
      EXPECT_FALSE(result.ok);
      EXPECT_NE(result.source.find(request.server), std::string::npos) << result.source;
      EXPECT_NE(result.description.find(request.source_path), std::string::npos) << result.description;
      EXPECT_NE(result.description.find(c.expected_text), std::string::npos) << result.description;
      for (const std::string& secret : {request.password, login_.password}) {
        EXPECT_EQ(result.source.find(secret), std::string::npos);
        EXPECT_EQ(result.description.find(secret), std::string::npos) << result.description;
      }
    }
    EXPECT_EQ(first.description, second.description);
  }
  EXPECT_TRUE(Rows().empty());
}

// Corvanne makes no table on a server: the error names the statement that
// adds a missing optional column, and that statement is one the server runs.
TEST_F(OdbcPgTest, MissingOptionalColumnNamesTheStatementThatAddsIt) {
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  LoadRequest request = Request(dir_.Write("a.bas", "x\n"));
  request.columns = {"FileName", "LineNo", "", ""};
  const LoadResult refused = destination->Verify(request);
  ASSERT_FALSE(refused.ok);
  // Bare names pass as they stand (PostgreSQL folds them, here and in the load alike).
  const std::string statements =
      "ALTER TABLE \"" + table_ + "\" ADD FileName varchar(1024); ALTER TABLE \"" + table_ + "\" ADD LineNo integer";
  const std::string advice = "; to add the missing optional columns, run: " + statements;
  ASSERT_TRUE(refused.description.ends_with(advice)) << refused.description;
  destination->Close();
  for (size_t at = 0; at < statements.size();) {
    const size_t end = std::min(statements.find("; ", at), statements.size());
    ASSERT_TRUE(client_->Exec(statements.substr(at, end - at)));
    at = end + 2;
  }
  auto again = MakeOdbcDestination(Engine::kOdbc);
  EXPECT_TRUE(again->Verify(request).ok);
}

TEST_F(OdbcPgTest, BareNamesPassAsTheyStand) {
  client_->Exec("CREATE TABLE IF NOT EXISTS lowercase_lines (MyCodeLine text)");
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  LoadRequest request = Request(dir_.Write("a.bas", "x\n"));
  request.table_name = "public.LOWERCASE_LINES";  // folded by the server, as typed SQL would be
  const LoadResult result = destination->Load(request);
  EXPECT_TRUE(result.ok) << result.description;
  EXPECT_EQ(client_->Column("SELECT MyCodeLine FROM lowercase_lines"), std::vector<std::string>{"x"});
  client_->Exec("DROP TABLE lowercase_lines");
}

// The same file tree through the SQLite destination and through ODBC into
// PostgreSQL and into SQLite (SQLite3 ODBC driver) gives the same rows.
TEST_F(OdbcPgTest, SameRowsAsTheSqliteDestination) {
  const std::vector<std::string> files = {
      dir_.Write("tree/a.frm", "VERSION 5.00\r\nBegin VB.Form frmA\r\n\r\nEnd\r\n"),
      dir_.Write("tree/sub/b.bas", "Attribute VB_Name = \"modB\"\nPrint `x`\n\xc3\xa9t\xc3\xa9\n"),
      dir_.Write("tree/sub/c.cls", std::string(8000, 'c') + "\r\n" + std::string(3000, 'd')),
  };
  const auto load_all = [&](LoadDestination& destination, LoadRequest request) {
    for (const std::string& file : files) {
      request.source_path = file;
      const LoadResult result = destination.Load(request);
      EXPECT_TRUE(result.ok) << result.source << "\n" << result.description;
    }
    destination.Close();
  };

  auto sqlite = MakeSqliteDestination(dir_.path().string());
  LoadRequest sqlite_request = Request("");
  sqlite_request.database = "expected.db";
  load_all(*sqlite, sqlite_request);
  const std::vector<std::string> expected =
      testing::ReadColumn(dir_.Path("expected.db"), "SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId");
  ASSERT_EQ(expected.size(), 9u);

  auto pg = MakeOdbcDestination(Engine::kOdbc);
  load_all(*pg, Request(""));
  EXPECT_EQ(Rows(), expected);

  const std::string sqlite_dsn = ServerEnv("CORVANNE_TEST_SQLITE_DSN");
  SqlClient sqlite_odbc("DSN=" + sqlite_dsn + ";");
  sqlite_odbc.Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  sqlite_odbc.Exec("CREATE TABLE \"" + table_ + "\" (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)");
  auto through_driver = MakeOdbcDestination(Engine::kOdbc);
  LoadRequest driver_request = Request("", sqlite_dsn);
  driver_request.user_name.clear();
  driver_request.password.clear();
  load_all(*through_driver, driver_request);
  EXPECT_EQ(sqlite_odbc.Column("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId"), expected);
  sqlite_odbc.Exec("DROP TABLE \"" + table_ + "\"");
}

// Lines 1..count that tell themselves apart, with an empty one now and then.
std::vector<std::string> DistinctLines(std::size_t count) {
  std::vector<std::string> lines;
  for (std::size_t i = 1; i <= count; ++i) lines.push_back(i % 5 == 0 ? "" : "l" + std::to_string(i) + " '?'");
  return lines;
}

std::string CrlfText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Files of 1, 3, K-1, K, K+1 and 3K+2 lines: full chunks, a tail, or both.
TEST_F(OdbcPgTest, FullChunksAndTheTailKeepEveryLineInOrderThroughEachDriver) {
  const std::string sqlite_dsn = ServerEnv("CORVANNE_TEST_SQLITE_DSN");
  SqlClient sqlite("DSN=" + sqlite_dsn + ";");
  sqlite.Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  sqlite.Exec("CREATE TABLE \"" + table_ + "\" (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)");
  struct Driver {
    const char* name;
    std::string dsn;
    SqlClient* client;
    const char* empty_table;
  } drivers[] = {
      {"Unicode driver", dsn_, client_.get(), "TRUNCATE"},
      {"ANSI driver", ServerEnv("CORVANNE_TEST_PG_ANSI_DSN"), client_.get(), "TRUNCATE"},
      {"SQLite driver", sqlite_dsn, &sqlite, "DELETE FROM"},
  };
  for (const Driver& driver : drivers) {
    for (const OdbcOptions options : {OdbcOptions{1, 1}, OdbcOptions{7, 1}, OdbcOptions{7, 3}, OdbcOptions{}}) {
      auto destination = MakeOdbcDestination(Engine::kOdbc, options);
      const std::size_t k = options.batch_rows;
      for (const std::size_t count : {std::size_t{1}, std::size_t{3}, k - 1, k, k + 1, 3 * k + 2}) {
        SCOPED_TRACE(std::string(driver.name) + ", " + std::to_string(k) + " rows x " +
                     std::to_string(options.statements_per_execute) + ", " + std::to_string(count) + " lines");
        driver.client->Exec(std::string(driver.empty_table) + " \"" + table_ + "\"");
        const std::vector<std::string> lines = DistinctLines(count);
        LoadRequest request = Request(dir_.Write("f.bas", CrlfText(lines)), driver.dsn);
        if (driver.client == &sqlite) request.user_name = request.password = "";
        const LoadResult result = destination->Load(request);
        ASSERT_TRUE(result.ok) << result.source << "\n" << result.description;
        EXPECT_EQ(result.rows, static_cast<int64_t>(count));
        EXPECT_EQ(driver.client->Column("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId"), lines);
      }
    }
  }
  sqlite.Exec("DROP TABLE \"" + table_ + "\"");
}

TEST_F(OdbcPgTest, AFailedMultiRowInsertNamesItsLinesAndLeavesNothing) {
  CreateTable("varchar(20)");
  struct Case {
    const char* name;
    OdbcOptions options;
    int lines;
    int long_line;
    std::string named;        // where the description says the failure is
    std::string or_named;     // as good: the driver did not single out one set of an array
  } cases[] = {
      {"middle of a chunk", {7, 1}, 20, 10, "lines 8 to 14", ""},
      {"in the tail", {7, 1}, 20, 18, "lines 15 to 20", ""},
      {"a tail of one line", {7, 1}, 22, 22, "line 22", ""},
      {"a chunk inside an array", {7, 3}, 50, 10, "lines 8 to 14", "lines 1 to 21"},
      {"default size, a later chunk", {}, 1200, 700, "lines 501 to 1000", ""},
      {"default size, the tail", {}, 1200, 1001, "lines 1001 to 1192", ""},
      {"default size, the end of the tail", {}, 1200, 1195, "lines 1193 to 1200", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto destination = MakeOdbcDestination(Engine::kOdbc, c.options);
    const LoadResult failed = destination->Load(Request(dir_.Write("long.bas", NumberedLines(c.lines, c.long_line))));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.rows, 0);
    EXPECT_NE(failed.description.find("22001"), std::string::npos) << failed.description;
    const auto names = [&](const std::string& where) {
      return !where.empty() &&
             failed.description.find("\"" + dir_.Path("long.bas") + "\" " + where + ": cannot insert into") !=
                 std::string::npos;
    };
    EXPECT_TRUE(names(c.named) || names(c.or_named)) << failed.description;
    EXPECT_TRUE(Rows().empty());
    const LoadResult next = destination->Load(Request(dir_.Write("ok.bas", CrlfText(DistinctLines(9)))));
    EXPECT_TRUE(next.ok) << next.description;
    EXPECT_EQ(Rows(), DistinctLines(9));
    client_->Exec("TRUNCATE \"" + table_ + "\"");
  }
}

// A statement trigger stands in for a server without multi-row VALUES: it
// refuses any statement that adds more than one row, as a syntax error.
TEST_F(OdbcPgTest, AServerThatRefusesMultiRowInsertsGetsOneRowPerStatement) {
  client_->Exec("CREATE SEQUENCE \"" + table_ + "_no\"");
  client_->Exec("CREATE FUNCTION \"" + table_ + "_refuse\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "IF (SELECT count(*) FROM added) > 1 THEN PERFORM nextval('\"" + table_ + "_no\"'); "
                "RAISE EXCEPTION 'multi-row VALUES refused' USING ERRCODE = '42601'; END IF; RETURN NULL; END $$");
  client_->Exec("CREATE TRIGGER refuse AFTER INSERT ON \"" + table_ + "\" REFERENCING NEW TABLE AS added "
                "FOR EACH STATEMENT EXECUTE FUNCTION \"" + table_ + "_refuse\"()");
  auto destination = MakeOdbcDestination(Engine::kOdbc, {7, 1});
  std::vector<std::string> expected;
  for (const std::size_t count : {std::size_t{20}, std::size_t{3}, std::size_t{15}}) {
    SCOPED_TRACE(std::to_string(count) + " lines");
    const std::vector<std::string> lines = DistinctLines(count);
    const LoadResult result = destination->Load(Request(dir_.Write("f.bas", CrlfText(lines))));
    ASSERT_TRUE(result.ok) << result.description;
    EXPECT_EQ(result.rows, static_cast<int64_t>(count));
    expected.insert(expected.end(), lines.begin(), lines.end());
    EXPECT_EQ(Rows(), expected);
  }
  // Refused once, then remembered for the connection.
  EXPECT_EQ(client_->Column("SELECT last_value FROM \"" + table_ + "_no\""), std::vector<std::string>{"1"});
  destination->Close();
  client_->Exec("DROP TABLE \"" + table_ + "\"");
  client_->Exec("DROP FUNCTION \"" + table_ + "_refuse\"()");
  client_->Exec("DROP SEQUENCE \"" + table_ + "_no\"");
}

}  // namespace
}  // namespace corvanne
