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
    request.columns = {"FileName", "LineNo", "Batch", ""};
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
      {"reserved words", "Order", {"File", "Key", "User", "Id"}, ""},
      {"hostile column name", "Lines", {"f); DROP TABLE Old; --", "", "", ""},
       "the file name column name \"f); DROP TABLE Old; --\" is not a valid identifier"},
      {"hostile file id name", "Lines", {"", "", "", "i (x); DROP TABLE Old"},
       "the file id column name \"i (x); DROP TABLE Old\" is not a valid identifier"},
      {"temporary schema", "temp.Lost", {"", "", "", ""},
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
// earlier rows hold NULL in them.
TEST_F(SqliteColumnsTest, OptionalColumnsMissingFromAnExistingTableAreAdded) {
  const std::string source = dir_.Write("a.bas", "x\r\ny\r\n");
  ASSERT_TRUE(Exec(Database(), "CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT); "
                               "INSERT INTO SysCodeLines_Temp (MyCodeLine) VALUES ('earlier')"));
  LoadRequest request = Request(source);
  request.columns = {"FileName", "LineNo", "", ""};
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
  EXPECT_TRUE(destination_->Verify(request).description.empty());
}

// The compact layout: rows carry their file's id, the view joins the name
// back, and a re-load takes out exactly the file's rows, by its LineId range
// where it has one (even a range that other rows lie in) and by the file
// where it has none (rows an APPEND added).
TEST_F(SqliteColumnsTest, FileIdRowsJoinBackAndAReloadTakesOutExactlyTheFilesRows) {
  const std::string a = dir_.Write("a.bas", "a1\r\na2\r\n");
  const std::string b = dir_.Write("b.bas", "b1\r\n");
  const auto load = [&](const std::string& source, LoadMode mode) {
    LoadRequest request = Request(source);
    request.columns.file_id = "FileId";
    request.load_mode = mode;
    LoadRequest marker = request;
    marker.row_text = "<TASK_STATUS>DONE</TASK_STATUS>";
    ASSERT_TRUE(destination_->BeginUnit(request).ok);
    const LoadResult loaded = destination_->Load(request);
    ASSERT_TRUE(loaded.ok) << loaded.description;
    ASSERT_TRUE(destination_->Load(marker).ok);
    if (mode != LoadMode::kAppend) {
      ASSERT_TRUE(destination_->RecordFile(request, {source, 1, 1, "", 2, "", 1}).ok);
    }
    ASSERT_TRUE(destination_->CommitUnit().ok);
  };
  const auto lines = [&] {
    return Query(Database(), "SELECT FileName || ' ' || MyCodeLine FROM SysCodeLines_Temp ORDER BY LineId");
  };
  load(a, LoadMode::kReplace);
  load(b, LoadMode::kReplace);
  destination_->Close();
  const std::string columns = "SELECT FileName, LineNo, Batch, MyCodeLine FROM ";
  EXPECT_EQ(Query(Database(), columns + "SysCodeLines_Temp_View ORDER BY LineId"),
            Query(Database(), columns + "SysCodeLines_Temp ORDER BY LineId"));
  EXPECT_EQ(Query(Database(), "SELECT count(*) FROM SysCodeLines_Temp_View WHERE FileName IS NULL"),
            std::vector<std::string>{"0"});
  const std::vector<std::string> ids = Query(Database(), "SELECT FileId, FileName FROM SysCodeLines_Temp_Files");

  // a's range is widened over b's rows: the file filter keeps them.
  ASSERT_TRUE(Exec(Database(), "UPDATE SysCodeLines_Temp_Files SET LastLineId = (SELECT max(LineId) FROM "
                               "SysCodeLines_Temp) WHERE FileName = '" + a + "'"));
  dir_.Write("a.bas", "A1\r\n");
  load(a, LoadMode::kReplace);
  load(b, LoadMode::kAppend);
  load(b, LoadMode::kReplace);
  destination_->Close();
  EXPECT_EQ(lines(), (std::vector<std::string>{a + " A1", a + " <TASK_STATUS>DONE</TASK_STATUS>", b + " b1",
                                               b + " <TASK_STATUS>DONE</TASK_STATUS>"}))
      << "b loaded again after its APPEND copy";
  EXPECT_EQ(Query(Database(), "SELECT FileId, FileName FROM SysCodeLines_Temp_Files"), ids) << "ids are kept";
  EXPECT_EQ(Query(Database(), "SELECT count(*) FROM SysCodeLines_Temp t JOIN SysCodeLines_Temp_Files f "
                              "ON f.FileId = t.FileId AND f.FileName = t.FileName"),
            std::vector<std::string>{"4"});
}

// A companion table of a version before file ids: its files keep their rows
// and records, get ids, and their rows (with no range) are still found.
TEST_F(SqliteColumnsTest, CompanionTableWithoutIdsGetsThemAndItsFilesAreFound) {
  const std::string a = dir_.Write("a.bas", "new\r\n");
  ASSERT_TRUE(Exec(Database(), "CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT, "
                               "FileName TEXT, LineNo INTEGER, Batch TEXT); "
                               "CREATE TABLE SysCodeLines_Temp_Files (FileName TEXT PRIMARY KEY, FileSize INTEGER, "
                               "ModifiedTime INTEGER, ContentHash TEXT, LineCount INTEGER, BatchCode TEXT, "
                               "CheckedTime INTEGER); "
                               "INSERT INTO SysCodeLines_Temp (MyCodeLine, FileName) VALUES ('old', '" + a +
                               "'), ('kept', 'b'), ('old', '" + a + "'); "
                               "INSERT INTO SysCodeLines_Temp_Files VALUES ('b', 5, 6, 'h', 1, 'x', 7), ('" + a +
                               "', 3, 4, 'g', 2, 'y', 5)"));
  LoadRequest request = Request(a);
  request.load_mode = LoadMode::kReplace;
  ASSERT_TRUE(destination_->BeginUnit(request).ok);
  ASSERT_TRUE(destination_->Load(request).ok);
  ASSERT_TRUE(destination_->CommitUnit().ok);
  std::vector<FileState> states;
  ASSERT_TRUE(destination_->ReadFileStates(request, [&states](FileState& state) { states.push_back(state); }).ok);
  destination_->Close();
  EXPECT_EQ(Query(Database(), "SELECT MyCodeLine FROM SysCodeLines_Temp ORDER BY LineId"),
            (std::vector<std::string>{"kept", "new"}));
  EXPECT_EQ(Query(Database(), "SELECT FileId, FileName, FileSize FROM SysCodeLines_Temp_Files ORDER BY FileId"),
            (std::vector<std::string>{"1|b|5", "2|" + a + "|-1"}));
  ASSERT_EQ(states.size(), 2U);
  EXPECT_EQ(states[0], (FileState{"b", 5, 6, "h", 1, "x", 7}));
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
