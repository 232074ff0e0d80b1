// The native PostgreSQL engine end to end: the rows it stores equal those the
// SQLite destination stores for the same files (markers, optional columns,
// code pages, escaping, load modes), and a load that fails in the middle of
// a file keeps the marker rows (APPEND) or the old version (REPLACE).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "run/binary_runner.hpp"
#include "run/pg_test_support.hpp"

namespace corvanne {
namespace {

using testing::PgClient;

// Lines that COPY's text format reads as structure unless escaped, and text
// that must arrive as UTF-8 whatever the file's encoding.
constexpr const char kTricky[] =
    "tab\there\r\nback\\slash \\N \\t\r\n\\.\r\ncarriage\rreturn inside\r\n\r\ncaf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac "
    "`grave`\r\nno final break";

class PgEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DropTables();
    dir_.Write("src/a/tricky.bas", kTricky);
    dir_.Write("src/a/legacy.frm", "Caption = \"Men\xfc\"\r\n' \xe9t\xe9\r\n");  // Windows-1252
    dir_.Write("src/b/plain.cls", "Option Explicit\nSub Main()\nEnd Sub\n");
  }
  void TearDown() override { DropTables(); }
  // The test's own table (tests run side by side on one server), quoted
  // alike in SQLite and PostgreSQL.
  std::string Table() const { return "\"" + name_ + "\""; }
  void DropTables() {
    Client().Exec("DROP VIEW IF EXISTS \"" + name_ + "_View\"");
    Client().Exec("DROP TABLE IF EXISTS " + Table() + ", \"" + name_ + "_Files\"");
  }
  PgClient& Client() {
    if (!client_) client_ = std::make_unique<PgClient>();
    return *client_;
  }
  // Runs one configuration named `name` with `keys` over src/ into `engine`.
  testing::Outcome Run(const std::string& name, std::map<std::string, std::string> keys, bool sqlite) {
    std::map<std::string, std::string> config = sqlite ? std::map<std::string, std::string>{
                                                             {"DESTINATION_ENGINE", "SQLITE"},
                                                             {"SQL_SERVER_DATABASE_NAME", "lines.db"},
                                                             // the login is in every marker row
                                                             {"UNATTENDED_RUN_USER_NAME",
                                                              testing::PgEnv("CORVANNE_TEST_PG_USER")},
                                                             {"UNATTENDED_YES_NO", "YES"}}
                                                       : testing::PgConfig();
    config["DESTINATION_TABLE_NAME"] = "[" + name_ + "]";
    config.merge(keys);
    config["SOURCE_FOLDERS_LIST"] = dir_.Path("src");
    config["SOURCE_FOLDERS_LIST_SEP_CHAR"] = ";";
    dir_.Write(name, testing::ConfigText(config));
    return testing::RunBinary(dir_, {"--config", name});
  }
  // The rows as "line | file | number | batch?", the run's own batch code
  // and time taken out of the marker rows: two runs compare equal.
  static std::vector<std::string> Normalised(std::vector<std::string> rows) {
    static const std::regex kVarying("<(BATCH_CODE|DATE_TIME)>[^<]*</");
    for (std::string& row : rows) row = std::regex_replace(row, kVarying, "<$1></");
    return rows;
  }
  std::vector<std::string> SqliteRows(bool columns) {
    return Normalised(testing::ReadColumn(
        dir_.Path("lines.db"),
        columns ? "SELECT MyCodeLine || ' | ' || coalesce(FileName, 'NULL') || ' | ' || coalesce(LineNo, 'NULL') ||"
                  " ' | ' || (BatchCode IS NOT NULL) FROM " + Table() + " ORDER BY LineId"
                : "SELECT MyCodeLine FROM " + Table() + " ORDER BY LineId"));
  }
  std::vector<std::string> PgRows(bool columns) {
    return Normalised(Client().Column(
        columns ? "SELECT MyCodeLine || ' | ' || coalesce(FileName, 'NULL') || ' | ' || coalesce(LineNo::text, 'NULL')"
                  " || ' | ' || (BatchCode IS NOT NULL)::int FROM " + Table() + " ORDER BY LineId"
                : "SELECT MyCodeLine FROM " + Table() + " ORDER BY LineId"));
  }

  testing::TempDir dir_;
  std::unique_ptr<PgClient> client_;
  std::string name_ = std::string("e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(PgEndToEndTest, StoresTheRowsSqliteStores) {
  const std::map<std::string, std::string> columns = {{"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
                                                      {"DESTINATION_LINE_NUMBER_COLUMN_NAME", "LineNo"},
                                                      {"DESTINATION_BATCH_CODE_COLUMN_NAME", "BatchCode"}};
  struct Case {
    const char* name;
    const char* mode;  // DESTINATION_LOAD_MODE
    bool columns;      // the optional columns are configured
    bool vanished;     // vanished files are deleted
  };
  const Case cases[] = {
      {"append, one column", "APPEND", false, false},
      {"append, optional columns", "APPEND", true, false},
      {"replace", "REPLACE", true, false},
      {"changed, vanished files deleted", "CHANGED", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DropTables();
    std::filesystem::remove(dir_.Path("lines.db"));
    dir_.Write("src/b/plain.cls", "Option Explicit\nSub Main()\nEnd Sub\n");
    std::filesystem::remove(dir_.Path("src/b/gone.bas"));
    dir_.Write("src/b/gone.bas", "x\n");
    std::map<std::string, std::string> keys = {{"DESTINATION_LOAD_MODE", c.mode},
                                               {"DESTINATION_DELETE_VANISHED_FILES_YES_NO", c.vanished ? "YES" : "NO"}};
    if (c.columns) keys.insert(columns.begin(), columns.end());
    // Two runs: the second after an edit and a deletion, so that each mode
    // shows what it does with the rows of the first.
    for (int pass = 1; pass <= 2; ++pass) {
      SCOPED_TRACE(pass);
      if (pass == 2) {
        dir_.Write("src/b/plain.cls", "Option Explicit\nSub Main()\n  Debug.Print 1\nEnd Sub\n");
        std::filesystem::remove(dir_.Path("src/b/gone.bas"));
      }
      const testing::Outcome lite = Run("lite.xml", keys, true);
      ASSERT_EQ(lite.status, 0) << lite.err;
      const testing::Outcome pg = Run("pg.xml", keys, false);
      ASSERT_EQ(pg.status, 0) << pg.err;
      const std::vector<std::string> expected = SqliteRows(c.columns);
      ASSERT_FALSE(expected.empty());
      const std::vector<std::string> stored = PgRows(c.columns);
      EXPECT_EQ(stored.size(), expected.size());
      for (std::size_t i = 0; i < stored.size() && i < expected.size(); ++i) {
        EXPECT_EQ(stored[i], expected[i]) << "row " << i + 1;
      }
    }
  }
  // The escaping, seen directly: every line of the tricky file as written.
  const std::vector<std::string> lines = Client().Column(
      "SELECT MyCodeLine FROM " + Table() + " WHERE LineNo IS NOT NULL AND FileName LIKE '%tricky.bas' "
      "ORDER BY LineNo");
  EXPECT_EQ(lines, (std::vector<std::string>{"tab\there", "back\\slash \\N \\t", "\\.", "carriage\rreturn inside", "",
                                             "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac `grave`", "no final break"}));
}

TEST_F(PgEndToEndTest, AFailedLoadKeepsTheMarkersOrTheOldVersion) {
  struct Case {
    const char* name;
    const char* mode;
    const char* bad;  // the failing version of tricky.bas
  };
  const std::string too_long = "ok\r\n" + std::string(9000, 'x') + "\r\nnever\r\n";
  const Case cases[] = {
      {"append, a line too long", "APPEND", too_long.c_str()},
      {"append, a row the server refuses", "APPEND", "ok\r\nREFUSED\r\nnever\r\n"},
      {"replace, a line too long", "REPLACE", too_long.c_str()},
      {"replace, a row the server refuses", "REPLACE", "ok\r\nREFUSED\r\nnever\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DropTables();
    Client().Exec("CREATE TABLE " + Table() + " (LineId bigserial PRIMARY KEY, MyCodeLine text"
                  " CHECK (MyCodeLine <> 'REFUSED'), FileName text, LineNo integer)");
    dir_.Write("src/a/tricky.bas", kTricky);
    const std::map<std::string, std::string> keys = {{"DESTINATION_LOAD_MODE", c.mode},
                                                      {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
                                                      {"DESTINATION_LINE_NUMBER_COLUMN_NAME", "LineNo"}};
    ASSERT_EQ(Run("pg.xml", keys, false).status, 0);
    const std::string tricky = "SELECT MyCodeLine FROM " + Table() + " WHERE FileName LIKE '%tricky.bas' ORDER BY LineId";
    const std::vector<std::string> before = Client().Column(tricky);
    ASSERT_EQ(before.size(), 9u);
    dir_.Write("src/a/tricky.bas", c.bad);
    const testing::Outcome failed = Run("pg.xml", keys, false);
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_NE(failed.err.find("tricky.bas"), std::string::npos) << failed.err;
    const std::vector<std::string> after = Client().Column(tricky);
    if (std::string(c.mode) == "REPLACE") {
      EXPECT_EQ(after, before);  // the old version, whole
    } else {
      // The first run's rows, then the failed load's BEGINS and DONE rows
      // with no line between them; the message does not say otherwise.
      EXPECT_EQ(failed.err.find("nothing of"), std::string::npos) << failed.err;
      ASSERT_EQ(after.size(), before.size() + 2);
      EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 9), before);
      EXPECT_EQ(testing::TagOf(after[9], "TASK_STATUS"), "BEGINS");
      EXPECT_EQ(testing::TagOf(after[10], "TASK_STATUS"), "DONE");
    }
    // The other files of the run load whole.
    EXPECT_EQ(Client().Column("SELECT count(*) FROM " + Table() + " WHERE FileName LIKE '%plain.cls'"),
              std::vector<std::string>{std::string(c.mode) == "REPLACE" ? "5" : "10"});
  }
}

// The compact layout beside a concurrent loader: two runs re-load their own
// folders into one table at the same time, so their units' LineIds
// interleave; each file keeps exactly its rows, the view shows what the
// per-row columns hold, and a range that takes in other files' rows (as
// interleaving makes it) deletes only its own file's.
TEST_F(PgEndToEndTest, CompactLayoutBesideAConcurrentLoader) {
  for (int file = 0; file < 60; ++file) {
    dir_.Write("one/p/f" + std::to_string(file) + ".bas", "a\r\nb\r\nc\r\n");
    dir_.Write("two/q/g" + std::to_string(file) + ".bas", "x\r\ny\r\n");
  }
  std::map<std::string, std::string> config = testing::PgConfig();
  config.merge(std::map<std::string, std::string>{{"DESTINATION_TABLE_NAME", "[" + name_ + "]"},
                                                  {"DESTINATION_FILE_ID_COLUMN_NAME", "FileId"},
                                                  {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
                                                  {"DESTINATION_LINE_NUMBER_COLUMN_NAME", "LineNo"},
                                                  {"DESTINATION_LOAD_MODE", "REPLACE"},
                                                  {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"}});
  for (const char* folder : {"one", "two"}) {
    config["SOURCE_FOLDERS_LIST"] = dir_.Path(folder);
    dir_.Write(std::string(folder) + ".xml", testing::ConfigText(config));
  }
  const auto both_at_once = [&] {
    std::vector<pid_t> runs;
    for (const char* folder : {"one", "two"}) {
      testing::Launch launch;
      launch.args = {"--config", std::string(folder) + ".xml"};
      launch.folder = dir_.path().string();
      launch.out_file = dir_.Path(std::string(folder) + ".out");
      launch.err_file = dir_.Path(std::string(folder) + ".err");
      runs.push_back(testing::StartBinary(launch));
    }
    for (const pid_t run : runs) EXPECT_EQ(testing::WaitFor(run), 0) << testing::ReadBytes(dir_.Path("one.err"))
                                                                     << testing::ReadBytes(dir_.Path("two.err"));
  };
  // Rows per file (markers counted), and files whose rows are not as expected.
  const auto check = [&](const char* f_rows) {
    EXPECT_EQ(Client().Column("SELECT count(*) FROM (SELECT FileName FROM \"" + name_ + "_View\" GROUP BY FileName "
                              "HAVING count(*) <> CASE WHEN FileName LIKE '%/one/p/f0.bas' THEN " + f_rows +
                              " WHEN FileName LIKE '%/one/%' THEN 5 ELSE 4 END) AS wrong"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(Client().Column("SELECT count(*) FROM " + Table()), std::vector<std::string>{std::to_string(
                                                                      59 * 5 + 60 * 4 + std::stoi(f_rows))});
  };
  both_at_once();
  dir_.Write("one/p/f0.bas", "new\r\n");
  both_at_once();
  check("3");
  const std::string columns = "SELECT FileName || '|' || coalesce(LineNo::text, 'NULL') || '|' || MyCodeLine FROM ";
  EXPECT_EQ(Client().Column(columns + "\"" + name_ + "_View\" ORDER BY LineId"),
            Client().Column(columns + Table() + " ORDER BY LineId"));
  EXPECT_EQ(Client().Column("SELECT count(*) FROM " + Table() + " WHERE FileId IS NULL"),
            std::vector<std::string>{"0"});
  // f0's range is made to take in every row: the filter keeps the others.
  Client().Exec("UPDATE \"" + name_ + "_Files\" SET FirstLineId = 1, LastLineId = (SELECT max(LineId) FROM " +
                Table() + ") WHERE FileName LIKE '%/one/p/f0.bas'");
  dir_.Write("one/p/f0.bas", "new\r\nnewer\r\n");
  both_at_once();
  check("4");
}

TEST_F(PgEndToEndTest, ConnectsAsLibpqDoesAndChecksItsTable) {
  const std::string host = testing::PgEnv("CORVANNE_TEST_PG_HOST");
  const std::string port = testing::PgEnv("CORVANNE_TEST_PG_PORT");
  const std::string user = testing::PgEnv("CORVANNE_TEST_PG_USER");
  const std::string password = testing::PgEnv("CORVANNE_TEST_PG_PASSWORD");
  // libpq's password file, for the runs that configure no password.
  const std::string pgpass = dir_.Write("pgpass", host + ":" + port + ":*:" + user + ":" + password + "\n");
  chmod(pgpass.c_str(), 0600);
  setenv("PGPASSFILE", pgpass.c_str(), 1);
  struct Case {
    const char* name;
    std::map<std::string, std::string> keys;  // over the usual keys
    std::vector<std::string> args;            // after --config
    int status;
    std::string shown;  // in standard output or error
  };
  const std::vector<Case> cases = {
      {"a connection string, the password from .pgpass",
       {{"SQL_SERVER_NAME", "host=" + host + " port=" + port}, {"UNATTENDED_RUN_PASSWORD", ""}}, {}, 0, "loaded"},
      {"a wrong password is not shown",
       {{"UNATTENDED_RUN_PASSWORD", "Wr0ng-s3cret"}}, {}, 2, "password authentication failed"},
      {"--check names a column the table lacks",
       {{"DESTINATION_COLUMN_NAME", "NoSuchColumn"}}, {"--check"}, 2, "nosuchcolumn"},
      {"--check of a table that is not there yet", {{"DESTINATION_TABLE_NAME", "[NotYet]"}}, {"--check"}, 1,
       "a run creates it"},
  };
  Client().Exec("CREATE TABLE " + Table() + " (LineId bigserial PRIMARY KEY, MyCodeLine text)");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> config = testing::PgConfig();
    config["DESTINATION_TABLE_NAME"] = "[" + name_ + "]";
    for (const auto& [key, value] : c.keys) config[key] = value;
    config["SOURCE_FOLDERS_LIST"] = dir_.Path("src");
    config["SOURCE_FOLDERS_LIST_SEP_CHAR"] = ";";
    dir_.Write("c.xml", testing::ConfigText(config));
    std::vector<std::string> args = {"--config", "c.xml"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::Outcome outcome = testing::RunBinary(dir_, args);
    const std::string shown = outcome.out + outcome.err;
    EXPECT_EQ(outcome.status, c.status) << shown;
    EXPECT_NE(shown.find(c.shown), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Wr0ng-s3cret"), std::string::npos) << shown;
    EXPECT_EQ(shown.find(password), std::string::npos) << shown;
  }
  unsetenv("PGPASSFILE");
}

}  // namespace
}  // namespace corvanne
