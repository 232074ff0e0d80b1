// Re-loads through the built program into the real PostgreSQL over ODBC:
// the modes keep one copy of each file, the companion table is required and
// named when missing, and two CHANGED runs at once load each file once.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "odbc_test_support.hpp"
#include "run/binary_runner.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;
using Rows = std::vector<std::string>;
namespace fs = std::filesystem;

class OdbcReloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dsn_.empty());
    client_ = std::make_unique<SqlClient>(testing::ClientConnectionString(dsn_, login_));
    ASSERT_TRUE(client_->connected());
    Drop();
    // As docs/odbc.md shows them.
    client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine text, FileName text)");
    client_->Exec("CREATE INDEX \"" + table_ + "_file\" ON \"" + table_ + "\" (FileName)");
    client_->Exec("CREATE TABLE \"" + table_ + "_Files\" (FileName varchar(1000) PRIMARY KEY, FileSize bigint, "
                  "ModifiedTime bigint, ContentHash varchar(32), LineCount bigint, BatchCode varchar(100), "
                  "CheckedTime bigint)");
    dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
    dir_.Write("src/p/b.bas", "b1\r\n");
    dir_.Write("src/q/c.bas", "c1\r\n");
  }
  void TearDown() override {
    if (client_ && client_->connected()) Drop();
  }
  void Drop() {
    client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
    client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "_Files\"");
  }
  // Writes MyConfig.xml in `mode` with `more` keys; returns the command line.
  std::string Config(const std::string& mode, const std::map<std::string, std::string>& more = {}) {
    std::map<std::string, std::string> values = {
        {"DESTINATION_ENGINE", "ODBC"},
        {"SQL_SERVER_NAME", dsn_},
        {"UNATTENDED_RUN_USER_NAME", login_.user},
        {"UNATTENDED_RUN_PASSWORD", login_.password},
        {"SOURCE_FOLDERS_LIST", dir_.Path("src")},
        {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"DESTINATION_TABLE_NAME", "[" + table_ + "]"},
        {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
        {"DESTINATION_LOAD_MODE", mode},
        {"UNATTENDED_YES_NO", "YES"},
    };
    for (const auto& [key, value] : more) values[key] = value;
    std::string config = "<CONFIG>\n";
    for (const auto& [key, value] : values) config += "<" + key + ">" + value + "</" + key + ">\n";
    dir_.Write("MyConfig.xml", config + "</CONFIG>\n");
    return std::string(CORVANNE_BINARY) + " --config " + dir_.Path("MyConfig.xml") + " </dev/null";
  }
  // Runs the program as configured; the exit status, with standard error in `err`.
  int Run(std::string* err = nullptr) {
    Config(mode_, more_);
    const testing::Outcome outcome = testing::RunBinary(dir_, {"--config", dir_.Path("MyConfig.xml")});
    if (err != nullptr) *err = outcome.err;
    return outcome.status;
  }
  // "file rows" for every file in the table, markers counted.
  Rows Files() {
    // Relative, with '/' between the steps whatever the platform wrote.
    return client_->Column("SELECT replace(substr(FileName, " + std::to_string(dir_.Path("").size() + 1) +
                           "), chr(92), '/') || ' ' || count(*) FROM \"" + table_ + "\" GROUP BY FileName "
                           "ORDER BY FileName");
  }
  Rows LinesOf(const std::string& relative) {
    return client_->Column("SELECT MyCodeLine FROM \"" + table_ + "\" WHERE FileName = '" + dir_.Path(relative) +
                           "' AND MyCodeLine NOT LIKE '<TASK_STATUS>%' ORDER BY LineId");
  }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string dsn_ = ServerEnv("CORVANNE_TEST_PG_DSN");
  std::string table_ = std::string("T_RL_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::unique_ptr<SqlClient> client_;
  std::string mode_ = "REPLACE";
  std::map<std::string, std::string> more_;
};

TEST_F(OdbcReloadTest, ModesKeepTheTableEqualToTheTree) {
  std::string err;
  ASSERT_EQ(Run(&err), 0) << err;
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 4", "src/p/b.bas 3", "src/q/c.bas 3"}));

  // CHANGED: an edit is loaded, a touched file and an untouched one are not.
  mode_ = "CHANGED";
  const Rows batches = client_->Column("SELECT BatchCode FROM \"" + table_ + "_Files\" ORDER BY FileName");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new batch code
  dir_.Write("src/p/a.bas", "new a\r\n");
  fs::last_write_time(dir_.Path("src/p/b.bas"), fs::file_time_type::clock::now());
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(LinesOf("src/p/a.bas"), Rows({"new a"}));
  const Rows after = client_->Column("SELECT BatchCode FROM \"" + table_ + "_Files\" ORDER BY FileName");
  ASSERT_EQ(after.size(), 3u);
  EXPECT_NE(after[0], batches[0]);
  EXPECT_EQ(after[1], batches[1]) << "a touched file was loaded again";
  EXPECT_EQ(after[2], batches[2]);

  // A deleted file's rows go only with the key.
  fs::remove(dir_.Path("src/q/c.bas"));
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 3", "src/p/b.bas 3", "src/q/c.bas 3"}));
  more_["DESTINATION_DELETE_VANISHED_FILES_YES_NO"] = "YES";
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 3", "src/p/b.bas 3"}));
  EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "_Files\""), Rows({"2"}));
}

#ifndef _WIN32  // POSIX only
// A name that is not UTF-8 is stored decoded, in the rows and the
// companion row alike: the server takes it, and it is never taken for
// vanished.
TEST_F(OdbcReloadTest, NameThatIsNotUtf8KeepsItsRowsRunAfterRun) {
  dir_.Write("src/p/caf\xe9.bas", "c1\r\n");
  mode_ = "CHANGED";
  more_["DESTINATION_DELETE_VANISHED_FILES_YES_NO"] = "YES";
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    std::string err;
    ASSERT_EQ(Run(&err), 0) << err;
    EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "\" WHERE FileName = '" +
                              dir_.Path("src/p/caf\u00e9.bas") + "'"),
              Rows({"3"}));
    EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "_Files\""), Rows({"4"}));
  }
}
#endif  // _WIN32

// The compact layout on tables of an earlier version, given the new columns
// as docs/odbc.md shows: every row carries its file's id, a re-load deletes
// by the recorded range and only the file's rows in it, and a file an APPEND
// added to (no range any more) is found by the file.
TEST_F(OdbcReloadTest, FileIdsAndRangesKeepEachFileOnce) {
  client_->Exec("ALTER TABLE \"" + table_ + "\" ADD COLUMN FileId bigint");
  client_->Exec("ALTER TABLE \"" + table_ + "_Files\" ADD COLUMN FileId bigint GENERATED BY DEFAULT AS IDENTITY "
                "UNIQUE, ADD COLUMN FirstLineId bigint, ADD COLUMN LastLineId bigint");
  more_ = {{"DESTINATION_FILE_ID_COLUMN_NAME", "FileId"}};
  std::string err;
  ASSERT_EQ(Run(&err), 0) << err;
  const auto foreign = [&] {
    return client_->Column("SELECT count(*) FROM \"" + table_ + "\" t LEFT JOIN \"" + table_ +
                           "_Files\" f ON f.FileId = t.FileId WHERE f.FileName IS DISTINCT FROM t.FileName");
  };
  EXPECT_EQ(foreign(), Rows{"0"});
  EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "_Files\" WHERE FirstLineId IS NULL"), Rows{"0"});
  client_->Exec("UPDATE \"" + table_ + "_Files\" SET FirstLineId = 1, LastLineId = (SELECT max(LineId) FROM \"" +
                table_ + "\") WHERE FileName LIKE '%a.bas'");
  dir_.Write("src/p/a.bas", "new a\r\n");
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 3", "src/p/b.bas 3", "src/q/c.bas 3"}));
  mode_ = "APPEND";
  ASSERT_EQ(Run(&err), 0) << err;
  mode_ = "REPLACE";
  ASSERT_EQ(Run(&err), 0) << err;
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 3", "src/p/b.bas 3", "src/q/c.bas 3"}));
  EXPECT_EQ(foreign(), Rows{"0"});
}

TEST_F(OdbcReloadTest, MissingCompanionTableIsNamedAndTheRunDoesNotStart) {
  client_->Exec("DROP TABLE \"" + table_ + "_Files\"");
  std::string err;
  EXPECT_EQ(Run(&err), 2);
  EXPECT_NE(err.find("corvanne: cannot open the destination, nothing was loaded: ODBC data source \"" + dsn_ +
                     "\": the companion table \"" + table_ + "_Files\" that a re-load (REPLACE or CHANGED) or a file "
                     "id column keeps its record of each file in is missing or lacks a column of (FileName, FileSize, ModifiedTime, "
                     "ContentHash, LineCount, BatchCode, CheckedTime); create it as docs/odbc.md shows: "),
            std::string::npos)
      << err;
  EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "\""), Rows({"0"}));
}

#ifndef _WIN32  // two runs side by side: fork
// Both runs find every file new and race for each of them: afterwards each
// file is in the table exactly once, whole.
TEST_F(OdbcReloadTest, TwoChangedRunsAtOnceLoadEachFileOnce) {
  // Files long enough that the two runs' units of one file overlap.
  constexpr int kFiles = 60;
  const auto lines_of = [](int f) { return 2000 + f % 7; };
  for (int f = 0; f < kFiles; ++f) {
    std::string text;
    for (int l = 1; l <= lines_of(f); ++l) text += "file " + std::to_string(f) + " line " + std::to_string(l) + "\r\n";
    dir_.Write("src/t/f" + std::to_string(1000 + f) + ".bas", text);
  }
  const std::string command = Config("CHANGED");
  std::vector<pid_t> runs;
  for (int i = 0; i < 2; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const std::string mine = command + " >" + dir_.Path("out" + std::to_string(i)) + " 2>" +
                               dir_.Path("err" + std::to_string(i));
      _exit(WEXITSTATUS(std::system(mine.c_str())));
    }
    runs.push_back(pid);
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    int raw = 0;
    ASSERT_EQ(waitpid(runs[i], &raw, 0), runs[i]);
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << testing::ReadBytes(dir_.Path("err" + std::to_string(i)));
  }
  const Rows per_file = client_->Column(
      "SELECT FileName || ' ' || count(*) FILTER (WHERE MyCodeLine LIKE '<TASK_STATUS>BEGINS<%') || ' ' || "
      "count(*) FROM \"" + table_ + "\" WHERE FileName LIKE '%/src/t/%' GROUP BY FileName ORDER BY FileName");
  ASSERT_EQ(per_file.size(), static_cast<std::size_t>(kFiles));
  for (int f = 0; f < kFiles; ++f) {
    EXPECT_EQ(per_file[static_cast<std::size_t>(f)], dir_.Path("src/t/f" + std::to_string(1000 + f) + ".bas") +
                                                          " 1 " + std::to_string(lines_of(f) + 2));
  }
  EXPECT_EQ(client_->Column("SELECT count(*) FROM \"" + table_ + "_Files\" WHERE ContentHash <> ''"),
            Rows({std::to_string(kFiles + 3)}));
}
#endif

}  // namespace
}  // namespace corvanne
