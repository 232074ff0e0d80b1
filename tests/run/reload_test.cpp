// Re-loads through the built program into SQLite: REPLACE and CHANGED keep
// one copy of each file, equal to the tree; vanished files go only when
// asked and only under the configured folders; a kill mid-run leaves every
// file in its old or its new version.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/platform.hpp"
#include "run/binary_runner.hpp"

namespace corvanne {
namespace {

using testing::ConfigText;
using testing::ReadColumn;
using Rows = std::vector<std::string>;
namespace fs = std::filesystem;

class ReloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
    dir_.Write("src/p/b.bas", "b1\r\n");
    dir_.Write("src/q/c.bas", "c1\r\nc2\r\nc3\r\n");
  }
  // Writes MyConfig.xml over `folders` in `mode`, with `more` keys.
  void Config(const std::string& mode, const std::map<std::string, std::string>& more = {},
              const std::string& folders = "src") {
    std::map<std::string, std::string> values = {
        {"DESTINATION_ENGINE", "SQLITE"},           {"SQL_SERVER_DATABASE_NAME", "out.db"},
        {"SOURCE_FOLDERS_LIST", folders},           {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"UNATTENDED_YES_NO", "YES"},               {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
        {"DESTINATION_BATCH_CODE_COLUMN_NAME", "Batch"}, {"DESTINATION_LOAD_MODE", mode},
    };
    for (const auto& [key, value] : more) values[key] = value;
    dir_.Write("MyConfig.xml", ConfigText(values));
  }
  testing::Outcome Run(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--config", "MyConfig.xml"});
    return testing::RunBinary(dir_, extra);
  }
  // The lines of `relative` in the table, in order, markers left out.
  Rows LinesOf(const std::string& relative) const {
    return ReadColumn(dir_.Path("out.db"), "SELECT MyCodeLine FROM SysCodeLines_Temp WHERE FileName = '" +
                                               dir_.Path(relative) +
                                               "' AND MyCodeLine NOT LIKE '<TASK_STATUS>%' ORDER BY LineId");
  }
  // "file rows" for every file in the table, markers counted.
  Rows Files() const {
    return ReadColumn(dir_.Path("out.db"),
                      "SELECT replace(substr(FileName, length('" + dir_.Path("") +
                          "') + 1), char(92), '/') || ' ' || count(*) FROM SysCodeLines_Temp GROUP BY FileName "
                          "ORDER BY FileName");
  }
  std::string BatchOf(const std::string& relative) const {
    const Rows rows = ReadColumn(dir_.Path("out.db"), "SELECT DISTINCT Batch FROM SysCodeLines_Temp WHERE FileName = '" +
                                                          dir_.Path(relative) + "'");
    return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " batches>";
  }
  // The ModifiedTime and CheckedTime its record holds.
  Rows TimesOf(const std::string& relative) const {
    Rows times;
    for (const char* column : {"ModifiedTime", "CheckedTime"}) {
      const Rows value = ReadColumn(dir_.Path("out.db"), std::string("SELECT ") + column +
                                                             " FROM SysCodeLines_Temp_Files WHERE FileName = '" +
                                                             dir_.Path(relative) + "'");
      times.insert(times.end(), value.begin(), value.end());
    }
    return times;
  }
  // Sets the file's time to `time` (keeps it as it was after an edit).
  void SetTime(const std::string& relative, fs::file_time_type time) const {
    fs::last_write_time(dir_.Path(relative), time);
  }

  testing::TempDir dir_;
};

TEST_F(ReloadTest, ModesKeepOneCopyOfEachFileEqualToTheTree) {
  struct Case {
    const char* mode;
    std::map<std::string, std::string> more;
    Rows after_second;  // files and rows after a second run over the same tree
  } cases[] = {
      {"APPEND", {}, {"src/p/a.bas 8", "src/p/b.bas 6", "src/q/c.bas 10"}},
      {"REPLACE", {{"DESTINATION_FILE_ID_COLUMN_NAME", "FileId"}}, {"src/p/a.bas 4", "src/p/b.bas 3", "src/q/c.bas 5"}},
      {"REPLACE", {}, {"src/p/a.bas 4", "src/p/b.bas 3", "src/q/c.bas 5"}},
      {" changed ", {}, {"src/p/a.bas 4", "src/p/b.bas 3", "src/q/c.bas 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + (c.more.empty() ? "" : " with file ids"));
    fs::remove(dir_.Path("out.db"));
    Config(c.mode, c.more);
    ASSERT_EQ(Run().status, 0);
    const testing::Outcome second = Run();
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Files(), c.after_second);
  }
  // An edited file's rows are its new content, the others untouched.
  dir_.Write("src/p/a.bas", "new 1\r\n");
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(LinesOf("src/p/a.bas"), Rows({"new 1"}));
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 3", "src/p/b.bas 3", "src/q/c.bas 5"}));
}

TEST_F(ReloadTest, ChangedPassesOverWhatIsAsLoadedAndCatchesEditsByTheHash) {
  Config("CHANGED");
  ASSERT_EQ(Run().status, 0);
  const std::string first = BatchOf("src/p/a.bas");
  const fs::file_time_type a_time = fs::last_write_time(dir_.Path("src/p/a.bas"));
  const Rows c_times = TimesOf("src/q/c.bas");
  ASSERT_EQ(c_times.size(), 2U);
  if (StampsWithLocalClock(dir_.Path("src"))) {
    // Written a moment before the load, the newest of the tree: on a local
    // disk the load's own clock says when it looked.
    EXPECT_GT(std::stoll(c_times[1]), std::stoll(c_times[0]));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new batch code

  // Touched, same bytes: passed over. Same size and time, other bytes (an
  // edit in the same second as the load): loaded again. Touched back an
  // hour: passed over by its hash, and the new time recorded, so that later
  // runs can trust it without reading the file.
  fs::last_write_time(dir_.Path("src/p/b.bas"), fs::file_time_type::clock::now());
  dir_.Write("src/p/a.bas", "A1\r\nA2\r\n");
  SetTime("src/p/a.bas", a_time);
  SetTime("src/q/c.bas", fs::last_write_time(dir_.Path("src/q/c.bas")) - std::chrono::hours(1));
  const testing::Outcome list = Run({"--list"});
  EXPECT_EQ(list.out, "load\t" + dir_.Path("src/p/a.bas") + "\nunchanged\t" + dir_.Path("src/p/b.bas") +
                          "\nunchanged\t" + dir_.Path("src/q/c.bas") + "\n");
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(LinesOf("src/p/a.bas"), Rows({"A1", "A2"}));
  EXPECT_NE(BatchOf("src/p/a.bas"), first);
  EXPECT_EQ(BatchOf("src/p/b.bas"), first) << "a touched file was loaded again";
  EXPECT_EQ(BatchOf("src/q/c.bas"), first);
  const Rows c_after = TimesOf("src/q/c.bas");
  ASSERT_EQ(c_after.size(), 2U);
  // About an hour back (file systems keep times to their own precision).
  EXPECT_LT(std::stoll(c_after[0]), std::stoll(c_times[0]) - 3'599'000'000'000LL) << "the new time was not recorded";
  EXPECT_EQ(ReadColumn(dir_.Path("out.db"), "SELECT LineCount FROM SysCodeLines_Temp_Files WHERE FileName = '" +
                                                dir_.Path("src/q/c.bas") + "'"),
            Rows({"3"}));
}

TEST_F(ReloadTest, VanishedFilesGoOnlyWhenAskedAndOnlyUnderTheConfiguredFolders) {
  // Another configuration loads src/q into the same table; this one loads
  // src/p (each folder's own files: no recursion).
  const std::pair<std::string, std::string> flat = {"SOURCE_FOLDER_AVOID_RECURSION_YES_NO", "YES"};
  Config("REPLACE", {flat}, "src/q");
  ASSERT_EQ(Run().status, 0);
  Config("REPLACE", {flat}, "src/p");
  ASSERT_EQ(Run().status, 0);
  fs::remove(dir_.Path("src/p/b.bas"));
  dir_.Write("src/p/a.bas", "");  // emptied: no lines to show any more

  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(Files(), Rows({"src/p/b.bas 3", "src/q/c.bas 5"})) << "without the key a vanished file stays";

  Config("CHANGED", {flat, {"DESTINATION_DELETE_VANISHED_FILES_YES_NO", "YES"}}, "src/p");
  EXPECT_EQ(Run({"--list"}).out, "empty\t" + dir_.Path("src/p/a.bas") + "\ndelete\t" + dir_.Path("src/p/b.bas") + "\n");
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(Files(), Rows({"src/q/c.bas 5"}));
  EXPECT_EQ(ReadColumn(dir_.Path("out.db"), "SELECT count(*) FROM SysCodeLines_Temp_Files"), Rows({"1"}));

  // A listed folder that is missing (a share not mounted) reaches no file:
  // the run says so and does not end well.
  Config("CHANGED", {flat, {"DESTINATION_DELETE_VANISHED_FILES_YES_NO", "YES"}}, "src/q");
  fs::rename(dir_.Path("src/q"), dir_.Path("elsewhere"));
  const testing::Outcome outcome = Run();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("the folder \"" + dir_.Path("src/q") + "\" yielded no file"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(Files(), Rows({"src/q/c.bas 5"}));
}

TEST_F(ReloadTest, SettingsThatCannotRunAreRefusedBeforeTheRun) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> keys;
    const char* message;
  } cases[] = {
      {"no file name or file id column",
       {{"DESTINATION_LOAD_MODE", "REPLACE"}, {"DESTINATION_FILE_NAME_COLUMN_NAME", ""}},
       "corvanne: DESTINATION_LOAD_MODE \"REPLACE\" needs DESTINATION_FILE_NAME_COLUMN_NAME or "
       "DESTINATION_FILE_ID_COLUMN_NAME: a file's earlier rows are found by one of them in "},
      {"unknown mode",
       {{"DESTINATION_LOAD_MODE", "MIRROR"}},
       "corvanne: unknown DESTINATION_LOAD_MODE \"MIRROR\"; use APPEND, REPLACE or CHANGED in "},
      {"vanished files in APPEND",
       {{"DESTINATION_LOAD_MODE", ""}, {"DESTINATION_DELETE_VANISHED_FILES_YES_NO", "YES"}},
       "corvanne: DESTINATION_DELETE_VANISHED_FILES_YES_NO is YES, which needs DESTINATION_LOAD_MODE REPLACE or "
       "CHANGED in "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Config("", c.keys);
    for (const char* option : {"", "--list"}) {
      const testing::Outcome outcome = Run(*option ? std::vector<std::string>{option} : std::vector<std::string>{});
      EXPECT_EQ(outcome.status, 2);
      EXPECT_EQ(outcome.err, c.message + dir_.Path("MyConfig.xml") + "\n");
    }
    EXPECT_FALSE(fs::exists(dir_.Path("out.db")));
  }
}

#ifndef _WIN32  // POSIX only
// Whenever a REPLACE run dies, each file is whole in its old version or its
// new one, between its markers, once.
TEST_F(ReloadTest, KilledReplaceRunLeavesEveryFileOldOrNew) {
  constexpr int kFiles = 12;
  constexpr int kLines = 30000;
  const auto write_tree = [&](const std::string& version) {
    for (int f = 0; f < kFiles; ++f) {
      std::string text;
      const int lines = kLines + (version == "new" ? f : 0);
      for (int l = 1; l <= lines; ++l) text += version + " " + std::to_string(f) + " " + std::to_string(l) + "\r\n";
      dir_.Write("src/p/f" + std::to_string(10 + f) + ".bas", text);
    }
  };
  fs::remove_all(dir_.Path("src"));
  Config("REPLACE");
  const std::string database = dir_.Path("out.db");
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string old_version = round % 2 == 0 ? "old" : "new";
    const std::string new_version = round % 2 == 0 ? "new" : "old";
    write_tree(old_version);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(database + suffix);
    ASSERT_EQ(Run().status, 0);
    write_tree(new_version);
    testing::Launch launch;
    launch.args = {"--config", "MyConfig.xml"};
    launch.folder = dir_.path().string();
    launch.out_file = dir_.Path("stdout.txt");
    launch.err_file = dir_.Path("stderr.txt");
    const Rows before = ReadColumn(database, "SELECT max(LineId) FROM SysCodeLines_Temp");
    const pid_t child = testing::StartBinary(launch);
    // Wait until the run has replaced a few files, then kill it mid-file.
    for (int tries = 0; tries < 4000; ++tries) {
      const Rows done = ReadColumn(database, "SELECT count(*) FROM SysCodeLines_Temp WHERE LineId > " + before[0] +
                                                 " AND MyCodeLine LIKE '<TASK_STATUS>DONE<%'");
      if (!done.empty() && std::stoi(done[0]) >= 2 + round) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGKILL);
    ASSERT_EQ(testing::WaitFor(child), -1) << "the run ended before it could be killed";
    int replaced = 0;
    for (int f = 0; f < kFiles; ++f) {
      const std::string file = "src/p/f" + std::to_string(10 + f) + ".bas";
      SCOPED_TRACE(file);
      const Rows all = ReadColumn(database, "SELECT MyCodeLine FROM SysCodeLines_Temp WHERE FileName = '" +
                                                dir_.Path(file) + "' ORDER BY LineId");
      ASSERT_GE(all.size(), 2u);
      EXPECT_EQ(testing::TagOf(all.front(), "TASK_STATUS"), "BEGINS");
      EXPECT_EQ(testing::TagOf(all.back(), "TASK_STATUS"), "DONE");
      const std::string version = all[1].substr(0, 3);
      ASSERT_TRUE(version == old_version || version == new_version) << all[1];
      const std::size_t lines = static_cast<std::size_t>(kLines + (version == "new" ? f : 0));
      ASSERT_EQ(all.size(), lines + 2) << "a file is not whole, or is there twice";
      EXPECT_EQ(all[all.size() - 2], version + " " + std::to_string(f) + " " + std::to_string(lines));
      replaced += version == new_version ? 1 : 0;
    }
    EXPECT_GE(replaced, 2);
    EXPECT_LT(replaced, kFiles);
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace corvanne
