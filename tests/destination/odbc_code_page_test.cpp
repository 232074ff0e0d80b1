// Source files in other code pages, loaded through ODBC into PostgreSQL
// (Unicode and ANSI drivers) and into SQLite through its ODBC driver: every
// row read back is the codec's text.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "destination/odbc/odbc_destination.hpp"
#include "destination/odbc_test_support.hpp"
#include "testing/code_page_samples.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;

// `hex` (two digits a byte) as bytes.
std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

class OdbcCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = std::make_unique<testing::SqlClient>(testing::ClientConnectionString(pg_dsn_, login_));
    ASSERT_TRUE(client_->connected());
  }
  void TearDown() override {
    if (client_ && client_->connected()) client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  }
  LoadResult Load(const testing::CodePageSample& sample, const std::string& dsn, bool with_login) {
    LoadRequest request;
    request.source_path = dir_.Write("sample.bas", sample.bytes);
    request.row_delimiter = sample.delimiter;
    request.code_page = sample.code_page;
    request.undecodable_bytes = sample.undecodable;
    request.server = dsn;
    if (with_login) {
      request.user_name = login_.user;
      request.password = login_.password;
    }
    request.table_name = "[" + table_ + "]";
    request.column_name = "MyCodeLine";
    auto destination = MakeOdbcDestination(Engine::kOdbc);
    LoadResult result = destination->Load(request);
    EXPECT_TRUE(destination->Close().ok);
    return result;
  }
  // The rows of the PostgreSQL table as UTF-8, whatever the client's encoding.
  std::vector<std::string> PgRows() {
    std::vector<std::string> rows = client_->Column("SELECT encode(convert_to(MyCodeLine, 'UTF8'), 'hex') FROM \"" +
                                                    table_ + "\" ORDER BY LineId");
    for (std::string& row : rows) row = FromHex(row);
    return rows;
  }
  std::vector<std::string> SqliteRows() {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(sqlite_db_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, ("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY rowid").c_str(), -1, &statement,
                       nullptr);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }
  bool SqliteExec(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(sqlite_db_.c_str(), &db);
    const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
  }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string pg_dsn_ = ServerEnv("CORVANNE_TEST_PG_DSN");
  std::string pg_ansi_dsn_ = ServerEnv("CORVANNE_TEST_PG_ANSI_DSN");
  std::string sqlite_dsn_ = ServerEnv("CORVANNE_TEST_SQLITE_DSN");
  std::string sqlite_db_ = ServerEnv("CORVANNE_TEST_SQLITE_DB");
  std::string table_ = std::string("T_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::unique_ptr<testing::SqlClient> client_;
};

TEST_F(OdbcCodePageTest, EveryRowIsTheCodecsTextOnEveryDriver) {
  ASSERT_FALSE(sqlite_dsn_.empty());
  for (const testing::CodePageSample& sample : testing::CodePageSamples()) {
    for (const std::string& dsn : {pg_dsn_, pg_ansi_dsn_}) {
      SCOPED_TRACE(std::string(sample.name) + " through " + dsn);
      client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
      client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine varchar(8000))");
      const LoadResult result = Load(sample, dsn, true);
      ASSERT_TRUE(result.ok) << result.description;
      EXPECT_EQ(PgRows(), sample.rows);
    }
    SCOPED_TRACE(std::string(sample.name) + " through " + sqlite_dsn_);
    ASSERT_TRUE(SqliteExec("DROP TABLE IF EXISTS \"" + table_ + "\"; CREATE TABLE \"" + table_ +
                           "\" (MyCodeLine TEXT)"));
    const LoadResult result = Load(sample, sqlite_dsn_, false);
    ASSERT_TRUE(result.ok) << result.description;
    EXPECT_EQ(SqliteRows(), sample.rows);
  }
  // A file that is not text, or not what it was declared to be, fails
  // alike on every driver and loads nothing.
  for (const testing::FailingSample& failing : testing::FailingSamples()) {
    for (const std::string& dsn : {pg_dsn_, pg_ansi_dsn_}) {
      SCOPED_TRACE(std::string(failing.sample.name) + " through " + dsn);
      client_->Exec("DELETE FROM \"" + table_ + "\"");
      const LoadResult failed = Load(failing.sample, dsn, true);
      EXPECT_FALSE(failed.ok);
      EXPECT_NE(failed.description.find(failing.error), std::string::npos) << failed.description;
      EXPECT_TRUE(PgRows().empty());
    }
  }
  SqliteExec("DROP TABLE IF EXISTS \"" + table_ + "\"");
}

// Once the driver has taken wide characters, all-ASCII rows go as bytes; the
// statements kept on the connection take either, in any order.
TEST_F(OdbcCodePageTest, AsciiAndOtherTextTakeTurnsOnOneConnection) {
  client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine varchar(8000))");
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  const std::vector<std::vector<std::string>> files = {{"' Año", "x"}, {"plain", "ascii"}, {"' 日本", "y"}, {"z"}};
  std::vector<std::string> expected;
  int n = 0;
  for (const std::vector<std::string>& rows : files) {
    LoadRequest request;
    request.source_path = dir_.Write("f" + std::to_string(++n) + ".bas", testing::JoinRows(rows, "\r\n"));
    request.row_delimiter = "\r\n";
    request.server = pg_dsn_;
    request.user_name = login_.user;
    request.password = login_.password;
    request.table_name = "[" + table_ + "]";
    request.column_name = "MyCodeLine";
    const LoadResult result = destination->Load(request);
    ASSERT_TRUE(result.ok) << result.description;
    expected.insert(expected.end(), rows.begin(), rows.end());
  }
  EXPECT_TRUE(destination->Close().ok);
  EXPECT_EQ(PgRows(), expected);
}

}  // namespace
}  // namespace corvanne
