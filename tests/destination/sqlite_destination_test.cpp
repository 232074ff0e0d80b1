// The SQLite destination against real database files: rows as loaded, each
// load all or nothing, groups committed together, and failures that name
// what failed and where.
#include "destination/sqlite/sqlite_destination.hpp"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#endif
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// A second connection to the database, as another program would hold it.
class Connection {
 public:
  explicit Connection(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
  ~Connection() { sqlite3_close_v2(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }
  // The values of the one column `sql` selects, as bytes.
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 0));
      values.emplace_back(bytes == nullptr ? "" : std::string(bytes, sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    return values;
  }

 private:
  sqlite3* db_ = nullptr;
};

#ifndef _WIN32
// While it lives, no file of this process may grow at all: the next write
// fails as on a full disk.
class NoFileGrowth {
 public:
  NoFileGrowth() {
    // Without this, the first write past the limit kills the process.
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit none = previous_;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
  }
  ~NoFileGrowth() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previous_handler_);
  }
  NoFileGrowth(const NoFileGrowth&) = delete;
  NoFileGrowth& operator=(const NoFileGrowth&) = delete;

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = nullptr;
};

#endif

class SqliteDestinationTest : public ::testing::Test {
 protected:
  LoadRequest Request(const std::string& source) const {
    LoadRequest request;
    request.source_path = source;
    request.row_delimiter = "\r\n";
    request.database = "code.db";
    request.table_name = "[SysCodeLines_Temp]";
    request.column_name = "MyCodeLine";
    request.timeout_seconds = 1;
    return request;
  }
  // A marker row of `source`'s file, loaded from its text.
  LoadRequest Marker(const std::string& source, const std::string& text) const {
    LoadRequest request = Request(source);
    request.row_text = text;
    return request;
  }
  std::string DatabasePath() const { return dir_.Path("code.db"); }
  std::vector<std::string> Rows(const std::string& table = "SysCodeLines_Temp") {
    Connection reader(DatabasePath());
    return reader.Column("SELECT MyCodeLine FROM " + table + " ORDER BY LineId");
  }

  testing::TempDir dir_;
  std::unique_ptr<LoadDestination> destination_ = MakeSqliteDestination(dir_.path().string());
};

TEST_F(SqliteDestinationTest, DatabasePathFromTheSettings) {
  struct Case {
    const char* name;
    std::string database;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"empty", "", "/app/Corvanne.db"},
      {"relative", "code.db", "/app/code.db"},
      {"relative folder", "data/code.db", "/app/data/code.db"},
      {"absolute", "/var/code.db", "/var/code.db"},
      {"relative with dots", "data/../code.db", "/app/code.db"},
      {"parent steps resolved", "../shared/./code.db", "/shared/code.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SqliteDatabasePath(testing::Native(c.database), testing::Rooted("/app")), testing::Rooted(c.expected));
  }
}

// Under BYTES nothing is decoded: the bytes go in as they were read.
TEST_F(SqliteDestinationTest, LoadsEveryLineInOrderByteForByte) {
  const std::string first = dir_.Write("a.bas", "Sub A()\r\n  x = `y`\r\n\r\n\xEF\xBB\xBFz\x01\xFF\nEnd Sub"s);
  const std::string empty = dir_.Write("empty.bas", "");
  const std::string second = dir_.Write("b.bas", "last\r\n");
  const std::vector<std::pair<std::string, int64_t>> loads = {{first, 5}, {empty, 0}, {second, 1}};
  for (const auto& [path, rows] : loads) {
    SCOPED_TRACE(path);
    LoadRequest request = Request(path);
    request.code_page = "BYTES";
    const LoadResult result = destination_->Load(request);
    EXPECT_TRUE(result.ok) << result.description;
    EXPECT_EQ(result.rows, rows);
  }
  destination_->Close();
  const std::vector<std::string> expected = {"Sub A()", "  x = `y`", "", "\xEF\xBB\xBFz\x01\xFF"s, "End Sub", "last"};
  EXPECT_EQ(Rows(), expected);
  Connection check(DatabasePath());
  EXPECT_EQ(check.Column("SELECT typeof(MyCodeLine) FROM SysCodeLines_Temp WHERE LineId = 3"),
            std::vector<std::string>{"text"});
}

TEST_F(SqliteDestinationTest, CloseLeavesEverythingInTheDatabaseFile) {
  ASSERT_TRUE(destination_->Load(Request(dir_.Write("a.bas", "one\r\ntwo\r\n"))).ok);
  EXPECT_TRUE(fs::exists(DatabasePath() + "-wal"));
  destination_->Close();
  EXPECT_FALSE(fs::exists(DatabasePath() + "-wal"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"one", "two"}));
  // A load after Close opens the database again.
  ASSERT_TRUE(destination_->Load(Request(dir_.Write("b.bas", "three"))).ok);
  destination_->Close();
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(SqliteDestinationTest, FailedLoadLeavesNothingOfItsFile) {
  Connection setup(DatabasePath());
  ASSERT_TRUE(setup.Exec("CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)"));
  ASSERT_TRUE(setup.Exec("CREATE TRIGGER refuse BEFORE INSERT ON SysCodeLines_Temp WHEN NEW.MyCodeLine = 'boom' "
                         "BEGIN SELECT RAISE(ABORT, 'boom refused'); END"));
  const std::string good = dir_.Write("good.bas", "kept 1\r\nkept 2\r\n");
  ASSERT_TRUE(destination_->Load(Request(good)).ok);

  const std::string refused = dir_.Write("refused.bas", "a\r\nb\r\nboom\r\nc\r\n");
  const std::string too_long = dir_.Write("long.bas", "a\r\nb\r\n" + std::string(8001, 'x') + "\r\nc\r\n");
  struct Case {
    const char* name;
    std::string path;
    std::string source;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"database refuses line 3", refused, "SQLite",
       "database \"" + DatabasePath() + "\", loading \"" + refused + "\" line 3: boom refused"},
      {"line 3 over the limit", too_long, "Source file",
       "\"" + too_long + "\" line 3: line is 8001 characters, longer than the 8000 allowed; nothing was loaded into "
                         "database \"" + DatabasePath() + "\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadResult result = destination_->Load(Request(c.path));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.rows, 0);
    EXPECT_EQ(result.source, c.source);
    EXPECT_EQ(result.description, c.description);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"kept 1", "kept 2"}));
  }
  // The run goes on: the next file loads.
  EXPECT_TRUE(destination_->Load(Request(good)).ok);
  EXPECT_EQ(Rows().size(), 4u);
}

TEST_F(SqliteDestinationTest, FailuresNameTheDatabaseAndTheCause) {
  const std::string source = dir_.Write("a.bas", "line\r\n");
  Connection setup(DatabasePath());
  ASSERT_TRUE(setup.Exec("CREATE TABLE Other (LineId INTEGER PRIMARY KEY, Text TEXT)"));
  const std::string folder = dir_.MakeDir("folder.db");
  const std::string text = dir_.Write("text.db", "these are not the pages of a database, only some text\n");
  struct Case {
    const char* name;
    std::string database;
    std::string table;
    std::string description;
  };
  const std::vector<Case> cases = {
      {"table of another shape", "code.db", "Other",
       "database \"" + DatabasePath() + "\", loading \"" + source + "\": table Other has no column named MyCodeLine"},
      {"missing folder", "no/such/folder/code.db", "Lines",
       "cannot open database \"" + dir_.Path("no/such/folder/code.db") + "\": unable to open database file"},
      {"a folder, not a file", "folder.db", "Lines",
       "cannot open database \"" + folder + "\": unable to open database file"},
      {"not a database", "text.db", "Lines", "cannot open database \"" + text + "\": file is not a database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRequest request = Request(source);
    request.database = c.database;
    request.table_name = c.table;
    const LoadResult result = destination_->Load(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.source, "SQLite");
    EXPECT_EQ(result.description, c.description);
  }
  EXPECT_TRUE(destination_->Load(Request(source)).ok);

  LoadRequest missing = Request(dir_.Path("missing.bas"));
  const LoadResult result = destination_->Load(missing);
  EXPECT_EQ(result.source, "Source file");
  EXPECT_EQ(result.description, "cannot open source file \"" + missing.source_path + "\": No such file or directory");
}

TEST_F(SqliteDestinationTest, LockedDatabaseFailsAfterTheTimeoutAndTheRunGoesOn) {
  const std::string source = dir_.Write("a.bas", "line\r\n");
  ASSERT_TRUE(destination_->Load(Request(source)).ok);
  {
    Connection other(DatabasePath());
    ASSERT_TRUE(other.Exec("BEGIN IMMEDIATE"));
    const LoadResult result = destination_->Load(Request(source));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.description,
              "database \"" + DatabasePath() + "\", loading \"" + source + "\": database is locked");
  }
  EXPECT_TRUE(destination_->Load(Request(source)).ok);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(SqliteDestinationTest, NamesThatAreNotNamesNeverReachTheDatabase) {
  const std::string source = dir_.Write("a.bas", "line\r\n");
  struct Case {
    const char* name;
    std::string table;
    std::string column;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"statement in the table", "t (x TEXT); DROP TABLE keep; --", "MyCodeLine", "table"},
      {"comment in the column", "Lines", "c /* x */", "column"},
      {"unbalanced bracket", "[Lines", "MyCodeLine", "table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRequest request = Request(source);
    request.table_name = c.table;
    request.column_name = c.column;
    const LoadResult result = destination_->Load(request);
    EXPECT_FALSE(result.ok);
    const std::string& name = c.what == "table" ? c.table : c.column;
    EXPECT_EQ(result.description, "database \"" + DatabasePath() + "\", loading \"" + source +
                                      "\": the destination " + c.what + " name \"" + name +
                                      "\" is not a valid identifier");
    EXPECT_FALSE(fs::exists(DatabasePath()));  // refused before the database was even opened
  }
  // A "]" written "]]" inside brackets is one name, whatever SQLite's own
  // bracket rules are.
  LoadRequest escaped = Request(source);
  escaped.table_name = "[odd]]name]";
  escaped.column_name = "[My Line]";
  const LoadResult result = destination_->Load(escaped);
  EXPECT_TRUE(result.ok) << result.description;
  destination_->Close();
  Connection check(DatabasePath());
  EXPECT_EQ(check.Column("SELECT \"My Line\" FROM \"odd]name\""), std::vector<std::string>{"line"});
}

TEST_F(SqliteDestinationTest, FirstLoadOfANewDatabaseFailsAndTheNextStillLoads) {
  // The failed load's rollback takes the table it created with it.
  const std::string too_long = dir_.Write("long.bas", std::string(8001, 'x') + "\r\n");
  EXPECT_FALSE(destination_->Load(Request(too_long)).ok);
  const LoadResult result = destination_->Load(Request(dir_.Write("a.bas", "kept\r\n")));
  EXPECT_TRUE(result.ok) << result.description;
  EXPECT_EQ(Rows(), std::vector<std::string>{"kept"});
}

TEST_F(SqliteDestinationTest, UnitKeepsItsOtherLoadsWhenOneFails) {
  Connection setup(DatabasePath());
  ASSERT_TRUE(setup.Exec("CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)"));
  ASSERT_TRUE(setup.Exec("CREATE TRIGGER refuse BEFORE INSERT ON SysCodeLines_Temp WHEN NEW.MyCodeLine = 'boom' "
                         "BEGIN SELECT RAISE(ABORT, 'boom refused'); END"));
  struct Case {
    const char* name;
    std::string middle;                // the file's own load, between its markers
    bool middle_ok;
    std::vector<std::string> added;    // rows the unit adds
  };
  const std::vector<Case> cases = {
      {"file loads", dir_.Write("good.bas", "a\r\nb\r\n"), true, {"BEGINS", "a", "b", "DONE"}},
      {"line 3 over the limit", dir_.Write("long.bas", "a\r\nb\r\n" + std::string(8001, 'x') + "\r\n"), false,
       {"BEGINS", "DONE"}},
      {"database refuses line 2", dir_.Write("refused.bas", "a\r\nboom\r\nc\r\n"), false, {"BEGINS", "DONE"}},
      {"file missing", dir_.Path("missing.bas"), false, {"BEGINS", "DONE"}},
  };
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(destination_->BeginUnit(Request(c.middle)).ok);
    EXPECT_TRUE(destination_->Load(Marker(c.middle, "BEGINS")).ok);
    EXPECT_EQ(destination_->Load(Request(c.middle)).ok, c.middle_ok);
    EXPECT_TRUE(destination_->Load(Marker(c.middle, "DONE")).ok);
    // Nothing of the unit is committed before its end.
    EXPECT_EQ(Rows(), expected);
    const LoadResult result = destination_->CommitUnit();
    EXPECT_TRUE(result.ok) << result.description;
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(Rows(), expected);
  }
}

#ifndef _WIN32  // POSIX only
TEST_F(SqliteDestinationTest, UnitThatCannotCommitKeepsNothingAndTheNextUnitLoads) {
  const std::string source = dir_.Write("a.bas", "one\r\ntwo\r\n");
  ASSERT_TRUE(destination_->Load(Request(source)).ok);
  ASSERT_TRUE(destination_->BeginUnit(Request(source)).ok);
  ASSERT_TRUE(destination_->Load(Request(source)).ok);
  ASSERT_TRUE(destination_->Load(Marker(source, "DONE")).ok);
  LoadResult result;
  {
    NoFileGrowth disk_full;
    result = destination_->CommitUnit();
  }
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.source, "SQLite");
  const std::string start =
      "database \"" + DatabasePath() + "\": the file's rows could not be committed, none of them was kept: ";
  EXPECT_EQ(result.description.substr(0, start.size()), start) << result.description;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"one", "two"}));

  ASSERT_TRUE(destination_->BeginUnit(Request(source)).ok);
  ASSERT_TRUE(destination_->Load(Request(dir_.Write("b.bas", "three\r\n"))).ok);
  EXPECT_TRUE(destination_->CommitUnit().ok);
  EXPECT_TRUE(destination_->Close().ok);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"one", "two", "three"}));
}
#endif  // _WIN32

// A load whose failure ends the whole transaction takes the unit with it:
// later loads of the unit must not go in alone, and the commit says so.
TEST_F(SqliteDestinationTest, LoadThatEndsTheWholeTransactionLosesTheUnit) {
  Connection setup(DatabasePath());
  ASSERT_TRUE(setup.Exec("CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)"));
  ASSERT_TRUE(setup.Exec("CREATE TRIGGER refuse BEFORE INSERT ON SysCodeLines_Temp WHEN NEW.MyCodeLine = 'boom' "
                         "BEGIN SELECT RAISE(ROLLBACK, 'boom ends it all'); END"));
  const std::string refused = dir_.Write("refused.bas", "a\r\nboom\r\n");
  ASSERT_TRUE(destination_->BeginUnit(Request(refused)).ok);
  ASSERT_TRUE(destination_->Load(Marker(refused, "BEGINS")).ok);
  ASSERT_FALSE(destination_->Load(Request(refused)).ok);
  EXPECT_FALSE(destination_->Load(Marker(refused, "DONE")).ok);
  const LoadResult result = destination_->CommitUnit();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.description, "database \"" + DatabasePath() + "\": a failed load of \"" + refused +
                                    "\" rolled back the whole unit: database \"" + DatabasePath() +
                                    "\", loading \"" + refused + "\" line 2: boom ends it all");
  EXPECT_TRUE(Rows().empty());
}

TEST_F(SqliteDestinationTest, CloseRollsBackAnOpenUnit) {
  const std::string source = dir_.Write("a.bas", "one\r\n");
  ASSERT_TRUE(destination_->Load(Request(source)).ok);
  ASSERT_TRUE(destination_->BeginUnit(Request(source)).ok);
  ASSERT_TRUE(destination_->Load(Request(source)).ok);
  EXPECT_TRUE(destination_->Close().ok);
  EXPECT_EQ(Rows(), std::vector<std::string>{"one"});
  EXPECT_FALSE(destination_->CommitUnit().ok);
}

}  // namespace
}  // namespace corvanne
