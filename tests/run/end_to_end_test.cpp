// The built program, unattended, on scratch trees into SQLite: the rows in
// the table in order, the exit status, and what lands on stdout and stderr.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <regex>

#include "run/binary_runner.hpp"

namespace corvanne {
namespace {

using testing::Brief;
using testing::ConfigText;
using testing::Literal;
using testing::Outcome;
using testing::ReadColumn;
using testing::RunBinary;
using testing::TagOf;
using Rows = std::vector<std::string>;
namespace fs = std::filesystem;

class EndToEndTest : public ::testing::Test {
 protected:
  // Writes MyConfig.xml: the base settings with `changes` over them ("" removes a key).
  std::string Config(const std::map<std::string, std::string>& changes = {}) {
    std::map<std::string, std::string> values = {
        {"DESTINATION_ENGINE", "SQLITE"},
        {"SQL_SERVER_DATABASE_NAME", "out.db"},
        {"UNATTENDED_RUN_USER_NAME", "tester"},
        {"SOURCE_FOLDERS_LIST", "src"},
        {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"UNATTENDED_YES_NO", "YES"},
    };
    for (const auto& [key, value] : changes) {
      if (value.empty()) {
        values.erase(key);
      } else {
        values[key] = value;
      }
    }
    return dir_.Write("MyConfig.xml", ConfigText(values));
  }
  Outcome Run(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--config", "MyConfig.xml"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunBinary(dir_, args);
  }
  Rows Table() const {
    Rows rows;
    for (const std::string& row : ReadColumn(dir_.Path("out.db"))) rows.push_back(Brief(row));
    return rows;
  }
  std::string Upper(const std::string& relative) const {
    std::string text = dir_.Path(relative);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }

  testing::TempDir dir_;
};

TEST_F(EndToEndTest, LoadsEveryFileBetweenItsMarkersInRunOrder) {
  dir_.Write("src/p1/a.frm", "Private Sub A()\r\n  x = `1`\r\n\r\nEnd Sub\r\n");
  dir_.Write("src/p1/notes.txt", "not selected\r\n");
  dir_.Write("src/p2/b.bas", "b1\nb2");
  dir_.Write("src/p2/c.cls", "");
  dir_.Write("src/p2/deep/d.FRM", "d\r\n");
  dir_.Write("src/top.frm", "only the folders below a listed folder are searched\r\n");
  Config();

  const Outcome outcome = Run();

  EXPECT_EQ(outcome.status, 0) << outcome.err;  // warnings do not change the exit status
  // Not a terminal: no progress line; the check's warning, and the closing
  // line for the log.
  EXPECT_TRUE(std::regex_match(
      outcome.err, std::regex("corvanne: warning: SOURCE_FOLDERS_LIST: \"" + Literal(dir_.Path("src")) +
                              "\" holds 1 file of a selected type directly, which a run passes over: with recursion "
                              "on, only the folders below a listed folder are searched \\(top.frm\\)\n"
                              "corvanne: 3 files loaded, 1 passed over, 0 failed, 7 lines in [0-9]+\\.[0-9] s\n")))
      << outcome.err;
  EXPECT_EQ(outcome.out, "");
  const Rows expected = {
      "BEGINS 1 " + Upper("src/p1/a.frm"), "Private Sub A()", "  x = `1`", "", "End Sub",
      "DONE 1 " + Upper("src/p1/a.frm"),
      "BEGINS 2 " + Upper("src/p2/b.bas"), "b1", "b2", "DONE 2 " + Upper("src/p2/b.bas"),
      "BEGINS 4 " + Upper("src/p2/deep/d.FRM"), "d", "DONE 4 " + Upper("src/p2/deep/d.FRM"),
  };
  EXPECT_EQ(Table(), expected);

  const Rows raw = ReadColumn(dir_.Path("out.db"));
  const std::string batch = TagOf(raw[0], "BATCH_CODE");
  EXPECT_FALSE(batch.empty());
  for (const std::size_t i : {0u, 5u, 6u, 9u, 10u, 12u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(TagOf(raw[i], "BATCH_CODE"), batch);
    EXPECT_EQ(TagOf(raw[i], "USER_NAME"), "TESTER");
    EXPECT_EQ(TagOf(raw[i], "TASK_NAME"), "EXPORT_TEXT_LINE_TO_SQL_TABLE");
  }
  EXPECT_EQ(TagOf(raw[6], "FILE_TYPE"), "BAS");

  // A second run appends a second batch after the first.
  const Outcome again = Run();
  EXPECT_EQ(again.status, 0) << again.err;
  const Rows twice = ReadColumn(dir_.Path("out.db"));
  ASSERT_EQ(twice.size(), 2 * expected.size());
  EXPECT_NE(TagOf(twice[expected.size()], "BATCH_CODE"), batch);
  EXPECT_EQ(Table(), [&] {
    Rows both = expected;
    both.insert(both.end(), expected.begin(), expected.end());
    return both;
  }());
}

TEST_F(EndToEndTest, SingleConfiguredFileAndSkippedMarkers) {
  dir_.Write("one.bas", "x\r\ny\r\n");
  Config({{"SOURCE_FOLDERS_LIST", ""},
          {"SOURCE_TEXT_FILE_NAME_WITH_PATH", dir_.Path("one.bas")},
          {"SKIP_COMPLETION_HEADERS_YES_NO", " yes "}});

  const Outcome outcome = Run();

  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(Table(), (Rows{"x", "y"}));
  EXPECT_FALSE(fs::exists(dir_.Path("TempHeader.txt")));
}

TEST_F(EndToEndTest, FailedLoadGivesStatusOneAndTheRunGoesOn) {
  dir_.Write("src/p/a.frm", "ok\r\n" + std::string(9000, 'x') + "\r\n");
  dir_.Write("src/p/b.frm", "fine\r\n");
  Config();

  const Outcome outcome = Run();

  EXPECT_EQ(outcome.status, 1);
  // Two log lines for the failed file, each naming it, then the closing line.
  const std::string a = dir_.Path("src/p/a.frm");
  EXPECT_TRUE(std::regex_match(
      outcome.err,
      std::regex("corvanne: Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE\\.\\[dbo\\]\\."
                 "PUT_DESTN_TABLE_NAME_HERE Step failed: [^\n]*" + Literal(a) + "[^\n]* line 2[^\n]*\n"
                 "corvanne: Error for file\\.\\.\\. " + Literal(a) + "\n"
                 "corvanne: 1 file loaded, 0 passed over, 1 failed \\(1 failed load\\), 1 line in [0-9.]+ s\n")))
      << outcome.err;
  EXPECT_EQ(Table(), (Rows{"BEGINS 1 " + Upper("src/p/a.frm"), "DONE 1 " + Upper("src/p/a.frm"),
                           "BEGINS 2 " + Upper("src/p/b.frm"), "fine", "DONE 2 " + Upper("src/p/b.frm")}));
}

#ifndef _WIN32  // POSIX only
TEST_F(EndToEndTest, FileGoneAfterListingFailsWithItsBox) {
  dir_.Write("src/p/a.frm", "a\r\n");
  fs::create_symlink(dir_.Path("nowhere.frm"), dir_.Path("src/p/gone.frm"));  // listed, has no size
  dir_.Write("src/p/z.frm", "z\r\n");
  Config();

  const Outcome outcome = Run();

  EXPECT_EQ(outcome.status, 1);  // a box was shown
  EXPECT_NE(outcome.err.find("corvanne: Error No. 2: Description : \"" + dir_.Path("src/p/gone.frm") +
                             "\": No such file or directory\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(Table(), (Rows{"BEGINS 1 " + Upper("src/p/a.frm"), "a", "DONE 1 " + Upper("src/p/a.frm"),
                           "BEGINS 3 " + Upper("src/p/z.frm"), "z", "DONE 3 " + Upper("src/p/z.frm")}));
}
#endif  // _WIN32

TEST_F(EndToEndTest, UnwritableHeaderFileIsReportedAndTheFilesStillLoadWithTheirMarkers) {
  dir_.Write("src/p/a.frm", "a\r\n");
  dir_.Write("src/p/b.frm", "b\r\n");
  Config({{"HEADER_TEMP_TEXT_FILE_NAME", dir_.Path("no-such-folder/TempHeader.txt")}});

  const Outcome outcome = Run();

  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("corvanne: An error occurred writing to file... \"" +
                             dir_.Path("no-such-folder/TempHeader.txt") + "\": No such file or directory\n"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.err.find("Step failed"), std::string::npos) << outcome.err;
  EXPECT_EQ(Table(), (Rows{"BEGINS 1 " + Upper("src/p/a.frm"), "a", "DONE 1 " + Upper("src/p/a.frm"),
                           "BEGINS 2 " + Upper("src/p/b.frm"), "b", "DONE 2 " + Upper("src/p/b.frm")}));
}

TEST_F(EndToEndTest, RunThatCannotStartGivesStatusTwoAndSaysWhy) {
  dir_.Write("src/p/a.frm", "a\r\n");
  const struct {
    const char* key;
    const char* value;
    const char* said;
  } cases[] = {
      {"DESTINATION_ENGINE", " mysql ", "unknown DESTINATION_ENGINE \"mysql\""},
      {"SOURCE_FILE_CODE_PAGE", "klingon", "SOURCE_FILE_CODE_PAGE \"klingon\" is not a code page this system knows"},
      {"SQL_SERVER_DATABASE_NAME", "gone/out.db", "cannot open the destination, nothing was loaded: SQLite: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    Config({{c.key, c.value}});
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("Step failed"), std::string::npos) << outcome.err;  // one message, not one per file
    EXPECT_FALSE(fs::exists(dir_.Path("out.db")));
  }
}

#ifndef _WIN32  // POSIX only
// Root lists any folder, so the child drops to nobody for this one.
TEST_F(EndToEndTest, FolderThatCannotBeListedStopsTheRunAndIsNamed) {
  dir_.Write("src/open/a.frm", "a\r\n");
  const std::string locked = dir_.MakeDir("src/zlocked");
  Config();
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec | fs::perms::others_write);
  fs::permissions(locked, fs::perms::none);

  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, std::vector<std::string>{"--list"}}) {
    SCOPED_TRACE(extra.empty() ? "run" : "--list");
    const Outcome outcome = RunBinary(dir_, [&] {
      std::vector<std::string> args = {"--config", "MyConfig.xml"};
      args.insert(args.end(), extra.begin(), extra.end());
      return args;
    }(), true);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find(locked), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Permission denied"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("core dumped"), std::string::npos);
  }
  EXPECT_TRUE(Table().empty());  // the walk comes before any load
}
#endif  // _WIN32

TEST_F(EndToEndTest, ListPrintsTheRunOrderAndLoadsNothing) {
  dir_.Write("src/b/2.cls", "x\r\n");
  dir_.Write("src/a/1.frm", "x\r\n");
  dir_.Write("src/a/empty.bas", "");
  dir_.Write("src/a/sub/3.bas", "x\r\n");
  dir_.Write("src/a/skip.txt", "x\r\n");
  Config();

  const Outcome outcome = Run({"--list"});

  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, dir_.Path("src/a/1.frm") + "\n" + dir_.Path("src/a/empty.bas") + "\n" +
                             dir_.Path("src/a/sub/3.bas") + "\n" + dir_.Path("src/b/2.cls") + "\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_FALSE(fs::exists(dir_.Path("out.db")));
  EXPECT_FALSE(fs::exists(dir_.Path("TempHeader.txt")));
}

TEST_F(EndToEndTest, HelpVersionAndBadOptions) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out_starts;
    std::string err_has;
  };
  const std::vector<Case> cases = {
      {"help", {"--help"}, 0, "Usage: corvanne [--config FILE] [--list | --check]\n", ""},
      {"version", {"--version"}, 0, "corvanne 0.1.0\n", ""},
      {"unknown option", {"--fast"}, 2, "", "corvanne: unknown option \"--fast\"\n\nUsage: corvanne"},
      {"config without file", {"--config"}, 2, "", "corvanne: option --config needs a file name"},
      {"list of a missing configuration", {"--list", "--config", "none.xml"}, 2, "",
       "Unable to read config file... Expected here... " + dir_.Path("none.xml")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = RunBinary(dir_, c.args);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out.rfind(c.out_starts, 0), 0u) << outcome.out;
    if (c.err_has.empty()) {
      EXPECT_EQ(outcome.err, "");
    } else {
      EXPECT_NE(outcome.err.find(c.err_has), std::string::npos) << outcome.err;
    }
  }
}

// A scheduler must hear of a run that did less than it was asked: a listed
// folder missing (the others still load), or folders that select no file.
TEST_F(EndToEndTest, RunThatDidLessThanAskedExitsOne) {
  dir_.Write("src/p/a.frm", "a\r\n");
  dir_.MakeDir("bare/p");
  struct Case {
    const char* name;
    std::string folders;
    int status;
    std::string warning;
  };
  const std::vector<Case> cases = {
      {"every folder there", "src", 0, ""},
      {"a folder missing", "src;gone", 1, "SOURCE_FOLDERS_LIST: folder \"" + dir_.Path("gone") + "\" does not exist"},
      {"no file selected", "bare", 1, "no file is selected: a run would load nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Config({{"SOURCE_FOLDERS_LIST", c.folders}});
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    if (!c.warning.empty()) {
      EXPECT_NE(outcome.err.find("corvanne: warning: " + c.warning + "\n"), std::string::npos) << outcome.err;
    }
  }
  EXPECT_EQ(Table().size(), 6u);  // src/p/a.frm, twice
}

// A newcomer's start: --init writes a configuration that needs no server,
// refuses to overwrite it, and runs once its folder list is filled in, in
// the compact layout.
TEST_F(EndToEndTest, InitWritesAConfigurationThatRunsOnceFilledIn) {
  dir_.Write("code/app/a.bas", "Sub A()\r\nEnd Sub\r\n");
  const Outcome written = RunBinary(dir_, {"--init", "Start.xml"});
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(written.out.rfind("wrote " + dir_.Path("Start.xml") + "\n", 0), 0u) << written.out;

  const Outcome again = RunBinary(dir_, {"--init", "Start.xml"});
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find(dir_.Path("Start.xml") + " exists already; it was left as it is"), std::string::npos)
      << again.err;

  std::string text = testing::ReadBytes(dir_.Path("Start.xml"));
  const std::string empty_list = "<SOURCE_FOLDERS_LIST></SOURCE_FOLDERS_LIST>";
  ASSERT_NE(text.find(empty_list), std::string::npos);
  text.replace(text.find(empty_list), empty_list.size(), "<SOURCE_FOLDERS_LIST>code</SOURCE_FOLDERS_LIST>");
  dir_.Write("Start.xml", text);
  const Outcome checked = RunBinary(dir_, {"--config", "Start.xml", "--check"});
  EXPECT_EQ(checked.out, "0 errors, 0 warnings in " + dir_.Path("Start.xml") + "\n");
  const Outcome run = RunBinary(dir_, {"--config", "Start.xml"});
  EXPECT_EQ(run.status, 0) << run.err;
  const Rows rows = ReadColumn(dir_.Path("Corvanne.db"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], "Sub A()");
  EXPECT_EQ(TagOf(rows[0], "USER_NAME"), "LOADER");
  EXPECT_EQ(ReadColumn(dir_.Path("Corvanne.db"), "SELECT FileName || ':' || LineNo || ' ' || MyCodeLine FROM "
                                                 "SysCodeLines_Temp_View WHERE LineNo = 2"),
            Rows{dir_.Path("code/app/a.bas") + ":2 End Sub"});
}

#ifndef _WIN32  // POSIX only
// The program itself loads no window library: an unattended run, --list,
// --check and --help start without Qt. A run that wants the window starts
// the window program in its place, which says there is no display to use.
TEST_F(EndToEndTest, WindowIsAProgramOfItsOwnStartedOnlyWhenWanted) {
  FILE* libraries = popen(("ldd " + std::string(CORVANNE_BINARY)).c_str(), "r");
  ASSERT_NE(libraries, nullptr);
  std::string listed;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, libraries) != nullptr) listed += buffer;
  ASSERT_EQ(pclose(libraries), 0) << listed;
  EXPECT_NE(listed.find("libsqlite3"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("Qt"), std::string::npos) << listed;
  // Nor the server clients: they are opened when a destination needs them.
  EXPECT_EQ(listed.find("libpq"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("libodbc"), std::string::npos) << listed;

  Config({{"UNATTENDED_YES_NO", "NO"}});
  testing::Launch launch;
  launch.args = {"--config", "MyConfig.xml"};
  launch.folder = dir_.path().string();
  launch.out_file = dir_.Path("out.txt");
  launch.err_file = dir_.Path("err.txt");
  launch.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  EXPECT_EQ(testing::WaitFor(testing::StartBinary(launch)), 2);
#ifdef CORVANNE_WINDOW_PROGRAM
  const char* said = "no display to show the window on";
#else
  const char* said = "this build has no window";
#endif
  EXPECT_NE(testing::ReadBytes(dir_.Path("err.txt")).find(said), std::string::npos)
      << testing::ReadBytes(dir_.Path("err.txt"));
}
#endif  // _WIN32

}  // namespace
}  // namespace corvanne
