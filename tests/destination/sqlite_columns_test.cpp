// The SQLite destination's optional columns and names: rows that say their
// file, line and batch; names that are reserved words; names refused; and
// the database left in the journal mode it had.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "destination/sqlite/sqlite_destination.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

// Rows of `sql` as text, NULL shown as "NULL", columns joined with "|".
std::vector<std::string> Query(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(database.c_str(), &db);
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
      row += (i > 0 ? "|" : "") + std::string(text == nullptr ? "NULL" : text);
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

bool Exec(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(database.c_str(), &db);
  const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

class SqliteColumnsTest : public ::testing::Test {
 protected:
  LoadRequest Request(const std::string& source) const {
    LoadRequest request;
    request.source_path = source;
    request.file_name_value = source;
    request.row_delimiter = "\r\n";
    request.database = "code.db";
    request.table_name = "[SysCodeLines_Temp]";
    request.column_name = "MyCodeLine";
    request.columns = {"FileName", "LineNo", "Batch"};
    request.batch_code_value = "7__1_2_2026";
    request.timeout_seconds = 1;
    return request;
  }
  std::string Database() const { return dir_.Path("code.db"); }

  testing::TempDir dir_;
  std::unique_ptr<LoadDestination> destination_ = MakeSqliteDestination(dir_.path().string());
};

TEST_F(SqliteColumnsTest, EveryRowSaysItsFileLineAndBatch) {
  const std::string source = dir_.Write("Forms/frmMain.frm", "Sub A()\r\n\r\nEnd Sub\r\n");
  LoadRequest marker = Request(source);
  marker.row_text = "<TASK_STATUS>BEGINS</TASK_STATUS>";
  ASSERT_TRUE(destination_->BeginUnit(Request(source)).ok);
  ASSERT_TRUE(destination_->Load(marker).ok);
  const LoadResult loaded = destination_->Load(Request(source));
  ASSERT_TRUE(loaded.ok) << loaded.description;
  ASSERT_TRUE(destination_->CommitUnit().ok);
  ASSERT_TRUE(destination_->Close().ok);

  const std::string file = source;  // as found: case kept
  EXPECT_EQ(Query(Database(), "SELECT MyCodeLine, FileName, LineNo, Batch FROM SysCodeLines_Temp ORDER BY LineId"),
            (std::vector<std::string>{"<TASK_STATUS>BEGINS</TASK_STATUS>|" + file + "|NULL|7__1_2_2026",
                                      "Sub A()|" + file + "|1|7__1_2_2026", "|" + file + "|2|7__1_2_2026",
                                      "End Sub|" + file + "|3|7__1_2_2026"}));
  EXPECT_EQ(Query(Database(), "SELECT type FROM pragma_table_info('SysCodeLines_Temp') WHERE name = 'LineNo'"),
            std::vector<std::string>{"INTEGER"});
  // "line 2 of this file" is answered by the index, not by a scan.
  const auto plan = Query(Database(), "EXPLAIN QUERY PLAN SELECT MyCodeLine FROM SysCodeLines_Temp WHERE FileName = "
                                      "'x' AND LineNo = 2");
  ASSERT_FALSE(plan.empty());
  EXPECT_NE(plan[0].find("SysCodeLines_Temp_file_line"), std::string::npos) << plan[0];
}

TEST_F(SqliteColumnsTest, NamesAreCheckedQuotedOrRefused) {
  const std::string source = dir_.Write("a.bas", "x\r\n");
  ASSERT_TRUE(Exec(Database(), "CREATE TABLE Old (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)"));
  struct Case {
    const char* name;
    std::string table;
    RowColumns columns;
    std::string error;  // empty: the load succeeds
  };
  const std::vector<Case> cases = {
      {"reserved words", "Order", {"File", "Key", "User"}, ""},
      {"hostile column name", "Lines", {"f); DROP TABLE Old; --", "", ""},
       "the file name column name \"f); DROP TABLE Old; --\" is not a valid identifier"},
      {"temporary schema", "temp.Lost", {"", "", ""},
       "the table \"temp.Lost\" is in the temporary schema, whose rows are dropped when the run ends"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRequest request = Request(source);
    request.table_name = c.table;
    request.columns = c.columns;
    const LoadResult result = destination_->Load(request);
    EXPECT_EQ(result.ok, c.error.empty()) << result.description;
    const LoadResult verified = destination_->Verify(request);
    EXPECT_EQ(verified.ok, c.error.empty()) << verified.description;
    if (!c.error.empty()) {
      EXPECT_NE(result.description.find(c.error), std::string::npos) << result.description;
      EXPECT_NE(verified.description.find(c.error), std::string::npos) << verified.description;
    }
  }
  destination_->Close();
  EXPECT_EQ(Query(Database(), "SELECT \"Order\".MyCodeLine, \"File\", \"Key\" FROM \"Order\""),
            std::vector<std::string>{"x|" + source + "|1"});
  EXPECT_EQ(Query(Database(), "SELECT count(*) FROM Old"), std::vector<std::string>{"0"});
}

// Configured after the table was made: the optional columns are added, the
// earlier rows hold NULL in them, and the index is made too.
TEST_F(SqliteColumnsTest, OptionalColumnsMissingFromAnExistingTableAreAdded) {
  const std::string source = dir_.Write("a.bas", "x\r\ny\r\n");
  ASSERT_TRUE(Exec(Database(), "CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT); "
                               "INSERT INTO SysCodeLines_Temp (MyCodeLine) VALUES ('earlier')"));
  LoadRequest request = Request(source);
  request.columns = {"FileName", "LineNo", ""};
  const LoadResult verified = destination_->Verify(request);
  ASSERT_TRUE(verified.ok) << verified.description;
  EXPECT_NE(verified.description.find("table SysCodeLines_Temp has no column named FileName; a run adds it"),
            std::string::npos)
      << verified.description;
  const LoadResult loaded = destination_->Load(request);
  ASSERT_TRUE(loaded.ok) << loaded.description;
  ASSERT_TRUE(destination_->Close().ok);
  EXPECT_EQ(Query(Database(), "SELECT MyCodeLine, FileName, LineNo FROM SysCodeLines_Temp ORDER BY LineId"),
            (std::vector<std::string>{"earlier|NULL|NULL", "x|" + source + "|1", "y|" + source + "|2"}));
  EXPECT_EQ(Query(Database(), "SELECT type FROM pragma_table_info('SysCodeLines_Temp') WHERE name = 'LineNo'"),
            std::vector<std::string>{"INTEGER"});
  EXPECT_EQ(Query(Database(), "SELECT name FROM sqlite_master WHERE type = 'index'"),
            std::vector<std::string>{"SysCodeLines_Temp_file_line"});
  EXPECT_TRUE(destination_->Verify(request).description.empty());
}

// A run must not leave a user's database in WAL for good (hard on
// read-only media and network shares); one it creates may stay WAL.
TEST_F(SqliteColumnsTest, JournalModeIsGivenBack) {
  const std::string source = dir_.Write("a.bas", "x\r\n");
  ASSERT_TRUE(Exec(dir_.Path("user.db"), "CREATE TABLE t (a)"));
  for (const auto& [database, mode] : {std::pair{"user.db", "delete"}, {"new.db", "wal"}}) {
    SCOPED_TRACE(database);
    LoadRequest request = Request(source);
    request.database = database;
    ASSERT_TRUE(destination_->Load(request).ok);
    ASSERT_TRUE(destination_->Close().ok);
    EXPECT_EQ(Query(dir_.Path(database), "PRAGMA journal_mode"), std::vector<std::string>{mode});
  }
}

// The wait for another run's lock starts with the very first statement.
TEST_F(SqliteColumnsTest, LockHeldWhileOpeningIsWaitedFor) {
  const std::string source = dir_.Write("a.bas", "x\r\n");
  ASSERT_TRUE(Exec(Database(), "PRAGMA journal_mode=DELETE; CREATE TABLE t (a)"));
  sqlite3* other = nullptr;
  sqlite3_open(Database().c_str(), &other);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  const LoadResult result = destination_->Load(Request(source));
  release.join();
  sqlite3_close(other);
  EXPECT_TRUE(result.ok) << result.description;
}

}  // namespace
}  // namespace corvanne
