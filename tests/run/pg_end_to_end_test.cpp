// The native PostgreSQL engine end to end: the rows it stores equal those the
// SQLite destination stores for the same files (markers, optional columns,
// code pages, escaping, load modes), and a load that fails in the middle of
// a file keeps the marker rows (APPEND) or the old version (REPLACE).
#include <gtest/gtest.h>

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
    Client().Exec("DROP TABLE IF EXISTS \"SysCodeLines_Temp\", \"SysCodeLines_Temp_Files\"");
    dir_.Write("src/a/tricky.bas", kTricky);
    dir_.Write("src/a/legacy.frm", "Caption = \"Men\xfc\"\r\n' \xe9t\xe9\r\n");  // Windows-1252
    dir_.Write("src/b/plain.cls", "Option Explicit\nSub Main()\nEnd Sub\n");
  }
  void TearDown() override { Client().Exec("DROP TABLE IF EXISTS \"SysCodeLines_Temp\", \"SysCodeLines_Temp_Files\""); }
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
                  " ' | ' || (BatchCode IS NOT NULL) FROM SysCodeLines_Temp ORDER BY LineId"
                : "SELECT MyCodeLine FROM SysCodeLines_Temp ORDER BY LineId"));
  }
  std::vector<std::string> PgRows(bool columns) {
    return Normalised(Client().Column(
        columns ? "SELECT MyCodeLine || ' | ' || coalesce(FileName, 'NULL') || ' | ' || coalesce(LineNo::text, 'NULL')"
                  " || ' | ' || (BatchCode IS NOT NULL)::int FROM \"SysCodeLines_Temp\" ORDER BY LineId"
                : "SELECT MyCodeLine FROM \"SysCodeLines_Temp\" ORDER BY LineId"));
  }

  testing::TempDir dir_;
  std::unique_ptr<PgClient> client_;
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
    Client().Exec("DROP TABLE IF EXISTS \"SysCodeLines_Temp\", \"SysCodeLines_Temp_Files\"");
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
      "SELECT MyCodeLine FROM \"SysCodeLines_Temp\" WHERE LineNo IS NOT NULL AND FileName LIKE '%tricky.bas' "
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
    Client().Exec("DROP TABLE IF EXISTS \"SysCodeLines_Temp\", \"SysCodeLines_Temp_Files\"");
    Client().Exec("CREATE TABLE \"SysCodeLines_Temp\" (LineId bigserial PRIMARY KEY, MyCodeLine text"
                  " CHECK (MyCodeLine <> 'REFUSED'), FileName text, LineNo integer)");
    dir_.Write("src/a/tricky.bas", kTricky);
    const std::map<std::string, std::string> keys = {{"DESTINATION_LOAD_MODE", c.mode},
                                                      {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
                                                      {"DESTINATION_LINE_NUMBER_COLUMN_NAME", "LineNo"}};
    ASSERT_EQ(Run("pg.xml", keys, false).status, 0);
    const std::string tricky = "SELECT MyCodeLine FROM \"SysCodeLines_Temp\" WHERE FileName LIKE '%tricky.bas' ORDER BY LineId";
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
    EXPECT_EQ(Client().Column("SELECT count(*) FROM \"SysCodeLines_Temp\" WHERE FileName LIKE '%plain.cls'"),
              std::vector<std::string>{std::string(c.mode) == "REPLACE" ? "5" : "10"});
  }
}

}  // namespace
}  // namespace corvanne
