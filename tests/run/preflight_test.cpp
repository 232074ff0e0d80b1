// corvanne --check: one small configuration per finding, with the report's
// exact lines and the exit status; the binary where only a child can tell.
#include "run/preflight.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "discovery/discovery_testing.hpp"
#include "run/binary_runner.hpp"
#include "run/destination_check.hpp"

namespace corvanne {
namespace {

namespace fs = std::filesystem;

class PreflightTest : public ::testing::Test {
 protected:
  // My.xml: `extra` lines first (from line 2), then the base keys with
  // `changes` over them ("" removes a key).
  void WriteConfig(const std::string& extra, const std::map<std::string, std::string>& changes) const {
    std::map<std::string, std::string> keys = {{"DESTINATION_ENGINE", "SQLITE"},
                                               {"SOURCE_FOLDERS_LIST", "src"},
                                               {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"}};
    for (const auto& [key, value] : changes) {
      if (value.empty()) {
        keys.erase(key);
      } else {
        keys[key] = value;
      }
    }
    std::string text = "<CONFIG>\n" + extra;
    for (const auto& [key, value] : keys) text += "<" + key + ">" + value + "</" + key + ">\n";
    dir_.Write("My.xml", text + "</CONFIG>\n");
  }

  std::string P(std::string_view relative) const { return dir_.Path(relative); }

  testing::TempDir dir_;
};

TEST_F(PreflightTest, EachFindingWithItsExitStatus) {
  struct Case {
    const char* name;
    std::string extra;                            // raw lines from line 2
    std::map<std::string, std::string> changes;   // over the base keys
    std::vector<std::string> lines;               // the report without its count line
    int status;
  };
  const std::string recursion = "with recursion on, only the folders below a listed folder are searched";
  const std::vector<Case> cases = {
      {"nothing to report", "", {}, {}, 0},
      {"unknown key, near a known one", "<SOURCE_FOLDER_LIST>src</SOURCE_FOLDER_LIST>\n", {},
       {"warning: line 2: <SOURCE_FOLDER_LIST> is not a key Corvanne knows; its value is not used; did you mean "
        "<SOURCE_FOLDERS_LIST>?"}, 1},
      {"unknown key, near none", "<COLOUR>red</COLOUR>\n", {},
       {"warning: line 2: <COLOUR> is not a key Corvanne knows; its value is not used"}, 1},
      {"flag neither YES nor NO", "<SOURCE_FOLDER_AVOID_RECURSION_YES_NO> Y </SOURCE_FOLDER_AVOID_RECURSION_YES_NO>\n",
       {}, {"warning: line 2: <SOURCE_FOLDER_AVOID_RECURSION_YES_NO> is \" Y \", which is neither YES nor NO: the flag "
            "is off (only YES turns it on)"}, 1},
      {"row delimiter written as code", "", {{"SOURCE_FILE_ROW_DELIMITER", "vbLf"}},
       {"warning: SOURCE_FILE_ROW_DELIMITER \"vbLf\" is cut at as the text itself, not as a line break, so each file "
        "would be one row; write VBCRLF (a line feed alone also ends a line)"}, 1},
      {"row delimiter written as an escape", "", {{"SOURCE_FILE_ROW_DELIMITER", "\\r\\n"}},
       {"warning: SOURCE_FILE_ROW_DELIMITER \"\\r\\n\" is cut at as the text itself, not as a line break, so each "
        "file would be one row; write VBCRLF (a line feed alone also ends a line)"}, 1},
      {"known key in lower case", "<source_folders_list>src</source_folders_list>\n", {},
       {"warning: line 2: <source_folders_list> is not read: keys are upper case; write <SOURCE_FOLDERS_LIST>"}, 1},
      {"known key first inside a comment", "<!-- <SOURCE_FOLDERS_LIST>old</SOURCE_FOLDERS_LIST> -->\n", {},
       {"warning: line 2: <SOURCE_FOLDERS_LIST> stands inside an XML comment; Corvanne reads that value all the same",
        "warning: SOURCE_FOLDERS_LIST: folder \"" + P("old") + "\" does not exist",
        "warning: no file is selected: a run would load nothing"}, 1},
      {"known key given twice", "<UNATTENDED_YES_NO>NO</UNATTENDED_YES_NO>\n<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>\n",
       {}, {"warning: line 3: <UNATTENDED_YES_NO> is given again; only the first one (line 2) is read"}, 1},
      {"folder list without separator", "", {{"SOURCE_FOLDERS_LIST_SEP_CHAR", ""}},
       {"warning: SOURCE_FOLDERS_LIST_SEP_CHAR is empty: SOURCE_FOLDERS_LIST is cut at every character into 4 empty "
        "items, so no folder is searched (a single folder needs a separator too)",
        "warning: no file is selected: a run would load nothing"}, 1},
      {"blank after a separator", "", {{"SOURCE_FOLDERS_LIST", "src; src"}},
       {"warning: SOURCE_FOLDERS_LIST: item \" src\" begins or ends with a blank; the blank is part of the folder name",
        "warning: SOURCE_FOLDERS_LIST: folder \"" + P(" src") + "\" does not exist"}, 1},
      {"extensions with blanks", "", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "FRM, BAS"}},
       {"warning: SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item \" BAS\" begins or ends with a blank and matches no "
        "file; write the list as FRM,BAS"}, 1},
      {"extensions with dots", "", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", ".frm,.bas"}},
       {"warning: SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item \".frm\" begins with a dot and matches no file; write "
        "the list as frm,bas",
        "warning: SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item \".bas\" begins with a dot and matches no file; write "
        "the list as frm,bas",
        "warning: no file is selected: a run would load nothing"}, 1},
      {"extensions with other separators", "", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", ".frm; .bas, cls"}},
       {"warning: SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item \".frm; .bas\" holds a separator other than \",\" (only "
        "\",\" separates items) and matches no file; write the list as frm,bas,cls",
        "warning: SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item \" cls\" begins or ends with a blank and matches no "
        "file; write the list as frm,bas,cls",
        "warning: no file is selected: a run would load nothing"}, 1},
      {"missing folder", "", {{"SOURCE_FOLDERS_LIST", "src;gone"}},
       {"warning: SOURCE_FOLDERS_LIST: folder \"" + P("gone") + "\" does not exist"}, 1},
      {"files directly in a listed folder", "", {{"SOURCE_FOLDERS_LIST", "src/p"}},
       {"warning: SOURCE_FOLDERS_LIST: \"" + P("src/p") + "\" holds 4 files of a selected type directly, which a run "
        "passes over: " + recursion + " (a.bas, b.frm, c.cls, ...)",
        "warning: no file is selected: a run would load nothing"}, 1},
      {"exclusion that matches no file", "",
       {{"SOURCE_FILES_EXCLUSION_LIST", "src/p/A.bas|src/p/b.frm"}, {"SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR", "|"}},
       {"warning: SOURCE_FILES_EXCLUSION_LIST: item \"src/p/A.bas\" matches no file a run would select (paths are "
        "compared exactly, letter case included; looked for as \"" + P("src/p/A.bas") + "\")"}, 1},
      {"exclusion list without separator", "", {{"SOURCE_FILES_EXCLUSION_LIST", "src/p/a.bas"}},
       {"warning: SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR is empty: SOURCE_FILES_EXCLUSION_LIST is cut at every "
        "character into 12 empty items, so no file is excluded"}, 1},
      {"folder list and single file both set", "", {{"SOURCE_TEXT_FILE_NAME_WITH_PATH", "src/p/a.bas"}},
       {"warning: SOURCE_TEXT_FILE_NAME_WITH_PATH is not used: SOURCE_FOLDERS_LIST is set, and folders win"}, 1},
      {"single file missing", "", {{"SOURCE_FOLDERS_LIST", ""}, {"SOURCE_TEXT_FILE_NAME_WITH_PATH", "x/../gone.bas"}},
       {"error: SOURCE_TEXT_FILE_NAME_WITH_PATH: file \"" + P("gone.bas") + "\" does not exist; its load would fail"},
       2},
      {"unknown engine", "", {{"DESTINATION_ENGINE", "SQLLITE"}},
       {"error: DESTINATION_ENGINE \"SQLLITE\" is not known; use SQLSERVER, SQLITE, POSTGRESQL or ODBC (a run would not start)"},
       2},
  };
  testing::MakeTree(dir_, {"src/p/a.bas", "src/p/b.frm", "src/p/c.cls", "src/p/d.frm", "src/p/notes.txt"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteConfig(c.extra, c.changes);
    AppState state;
    state.ConfigFilePath = P("My.xml");
    std::ostringstream out;
    const int status = RunCheck(state, out);
    std::string expected;
    size_t errors = 0;
    for (const std::string& line : c.lines) {
      expected += line + "\n";
      if (line.starts_with("error: ")) ++errors;
    }
    const size_t warnings = c.lines.size() - errors;
    expected += std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
                (warnings == 1 ? " warning" : " warnings") + " in " + P("My.xml") + "\n";
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(status, c.status);
  }
}

// The destination as a run would open it: SQLite needs no table yet, but a
// configured column must be in a table that exists.
TEST_F(PreflightTest, DestinationThatARunCouldNotUse) {
  testing::MakeTree(dir_, {"src/p/a.bas"});
  fs::create_directories(P("db"));
  const std::string database = P("db/old.db");
  // In WAL mode, as a run leaves it: a plain read-only open would leave
  // -wal and -shm files beside it.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  const int made = sqlite3_exec(
      db, "PRAGMA journal_mode=WAL; CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)",
      nullptr, nullptr, nullptr);
  sqlite3_close(db);
  ASSERT_EQ(made, SQLITE_OK);
  struct Case {
    const char* name;
    std::map<std::string, std::string> changes;
    std::string finding;  // empty: no destination finding; an error has status 2, a warning 1
  } cases[] = {
      {"new database", {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}}, ""},
      {"existing table", {{"SQL_SERVER_DATABASE_NAME", "db/old.db"}}, ""},
      {"optional column missing",
       {{"SQL_SERVER_DATABASE_NAME", "db/old.db"}, {"DESTINATION_FILE_NAME_COLUMN_NAME", "File"}},
       "warning: destination: database \"" + database + "\": table SysCodeLines_Temp has no column named File; "
       "a run adds it\n"},
      {"line column missing", {{"SQL_SERVER_DATABASE_NAME", "db/old.db"}, {"DESTINATION_COLUMN_NAME", "Code"}},
       "error: destination: SQLite: database \"" + database + "\": table SysCodeLines_Temp has no column named Code; "
       "a run would not start"},
      {"table name a slip away from one there",
       {{"SQL_SERVER_DATABASE_NAME", "db/old.db"}, {"DESTINATION_TABLE_NAME", "[SysCodeLine_Temp]"}},
       "warning: destination: database \"" + database + "\": table SysCodeLine_Temp does not exist, but table "
       "SysCodeLines_Temp does; a run would make a new table SysCodeLine_Temp beside it\n"},
      {"header file that cannot be written",
       {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"HEADER_TEMP_TEXT_FILE_NAME", "gone/TempHeader.txt"}},
       "warning: HEADER_TEMP_TEXT_FILE_NAME: \"" + P("gone/TempHeader.txt") + "\" cannot be written: No such file or "
       "directory; a run shows \"An error occurred writing to file...\" twice per file (the marker rows still load)\n"},
      {"SQL Server with no server", {{"DESTINATION_ENGINE", ""}},
       "error: no SQL Server is configured: SQL_SERVER_NAME is empty and DESTINATION_ENGINE is not set, so SQLSERVER "
       "is used (to load into a SQLite file with no server, set DESTINATION_ENGINE to SQLITE; corvanne --init FILE "
       "writes such a configuration); a run would not start"},
      {"unknown code page", {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"SOURCE_FILE_CODE_PAGE", "klingon"}},
       "error: SOURCE_FILE_CODE_PAGE \"klingon\" is not a code page this system knows (a name such as "
       "WINDOWS-1252, BIG5 or CP932, a Windows code page number, UTF-8, AUTO or BYTES); a run would not start"},
      {"UTF-16 code page", {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"SOURCE_FILE_CODE_PAGE", "UTF-16LE"}},
       "error: SOURCE_FILE_CODE_PAGE \"UTF-16LE\" is not a code page whose text keeps ASCII as it is (such as "
       "UTF-16, UTF-32, UTF-7 or EBCDIC): lines cannot be cut in it. A UTF-16 file is read by its byte-order mark, or "
       "by AUTO; use a code page such as WINDOWS-1252 or UTF-8; a run would not start"},
      {"folder item without a code page",
       {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"SOURCE_FILE_CODE_PAGES_BY_FOLDER", "big5"}},
       "error: SOURCE_FILE_CODE_PAGES_BY_FOLDER: item \"big5\" is not written as folder=code page; a run would not "
       "start"},
      {"unknown undecodable-bytes rule",
       {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"SOURCE_FILE_UNDECODABLE_BYTES", "drop"}},
       "error: SOURCE_FILE_UNDECODABLE_BYTES \"drop\" is neither REPLACE nor FAIL; a run would not start"},
      {"unknown load mode", {{"SQL_SERVER_DATABASE_NAME", "db/new.db"}, {"DESTINATION_LOAD_MODE", "MIRROR"}},
       "error: unknown DESTINATION_LOAD_MODE \"MIRROR\"; use APPEND, REPLACE or CHANGED; a run would not start"},
      {"folder missing", {{"SQL_SERVER_DATABASE_NAME", "gone/new.db"}},
       "error: destination: SQLite: database \"" + P("gone/new.db") + "\": the folder \"" + P("gone") +
           "\" does not exist; a run would not start"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteConfig("", c.changes);
    AppState state;
    state.ConfigFilePath = P("My.xml");
    std::ostringstream out;
    const int status = RunCheck(state, out, {CheckRunSettings, CheckHeaderFile, CheckDestination});
    EXPECT_EQ(status, c.finding.empty() ? 0 : c.finding.starts_with("error") ? 2 : 1) << out.str();
    EXPECT_EQ(out.str().substr(0, c.finding.size()), c.finding);
  }
  // The check leaves nothing behind: no database, no header file, no -wal or -shm.
  EXPECT_FALSE(fs::exists(P("db/new.db")));
  EXPECT_FALSE(fs::exists(P("TempHeader.txt")));
  EXPECT_FALSE(fs::exists(database + "-wal"));
  EXPECT_FALSE(fs::exists(database + "-shm"));
}

#ifndef _WIN32  // POSIX only
// From the command line: a folder a run could not list is an error (exit 2),
// and a missing configuration file is one too.
TEST_F(PreflightTest, CommandLineReportsWhatOnlyAnotherUserMeets) {
  testing::MakeTree(dir_, {"src/Locked/x.bas", "src/Open/y.bas"});
  WriteConfig("", {});
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  for (const char* open : {"src", "src/Open", "My.xml"}) {
    fs::permissions(P(open), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  }
  fs::permissions(P("src/Locked"), fs::perms::none);

  const testing::Outcome locked = testing::RunBinary(dir_, {"--check", "--config", "My.xml"}, true);
  EXPECT_EQ(locked.out, "error: cannot list folder \"" + P("src/Locked") +
                            "\": Permission denied; a run would stop there (exit status 2)\n"
                            "warning: HEADER_TEMP_TEXT_FILE_NAME: \"" + P("TempHeader.txt") + "\" cannot be written: "
                            "Permission denied; a run shows \"An error occurred writing to file...\" twice per file "
                            "(the marker rows still load)\n1 error, 1 warning in " + P("My.xml") + "\n");
  EXPECT_EQ(locked.status, 2) << locked.err;

  const testing::Outcome missing = testing::RunBinary(dir_, {"--check", "--config", "None.xml"});
  EXPECT_EQ(missing.out, "error: configuration file \"" + P("None.xml") +
                             "\": Unable to read config file... Expected here... " + P("None.xml") +
                             "\n1 error, 0 warnings in " + P("None.xml") + "\n");
  EXPECT_EQ(missing.status, 2);
}
#endif  // _WIN32

}  // namespace
}  // namespace corvanne
