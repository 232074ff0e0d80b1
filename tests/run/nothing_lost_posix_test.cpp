// A mirrored table keeps every row that should stay: the ways a re-load
// could take out rows of files that are still there (names that are not
// UTF-8, two spellings of a folder, an unmounted share, a look that fails, a
// failed load, another configuration or another run on the same table) and
// a FIFO that would hold the run up for ever. The built program, into SQLite.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/platform.hpp"
#include "run/binary_runner.hpp"
#include "run/export.hpp"
#include "run/run_test_support.hpp"

namespace corvanne {
namespace {

using testing::ConfigText;
using testing::ReadColumn;
using Rows = std::vector<std::string>;
namespace fs = std::filesystem;

class NothingLostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
    dir_.Write("src/p/b.bas", "b1\r\n");
  }
  // Writes `name` for a re-load over `folders` in `mode`, vanished files
  // deleted, flat (no recursion) unless `more` says otherwise.
  void Config(const std::string& folders, const std::string& mode = "CHANGED",
              const std::map<std::string, std::string>& more = {}, const std::string& name = "MyConfig.xml") {
    std::map<std::string, std::string> values = {
        {"DESTINATION_ENGINE", "SQLITE"},
        {"SQL_SERVER_DATABASE_NAME", "out.db"},
        {"SOURCE_FOLDERS_LIST", folders},
        {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"SOURCE_FOLDER_AVOID_RECURSION_YES_NO", "YES"},
        {"UNATTENDED_YES_NO", "YES"},
        {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
        {"DESTINATION_LOAD_MODE", mode},
        {"DESTINATION_DELETE_VANISHED_FILES_YES_NO", mode == "APPEND" ? "NO" : "YES"},
    };
    for (const auto& [key, value] : more) values[key] = value;
    dir_.Write(name, ConfigText(values));
  }
  testing::Outcome Run(const std::string& config = "MyConfig.xml", bool as_nobody = false) {
    return testing::RunBinary(dir_, {"--config", config}, as_nobody);
  }
  // "file rows" for every file in the table (markers counted), the names
  // relative to the scratch folder.
  Rows Files() const {
    return ReadColumn(dir_.Path("out.db"),
                      "SELECT substr(FileName, length('" + dir_.Path("") +
                          "') + 1) || ' ' || count(*) FROM SysCodeLines_Temp GROUP BY FileName ORDER BY FileName");
  }
  Rows Lines(const std::string& relative) const {
    return ReadColumn(dir_.Path("out.db"), "SELECT MyCodeLine FROM SysCodeLines_Temp WHERE FileName = '" +
                                               dir_.Path(relative) +
                                               "' AND MyCodeLine NOT LIKE '<TASK_STATUS>%' ORDER BY LineId");
  }
  // Lets an unprivileged run read and write everything under the folder.
  void OpenToAll() const {
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      fs::permissions(entry.path(), fs::perms::all);
    }
    fs::permissions(dir_.path(), fs::perms::all);
  }

  testing::TempDir dir_;
};

// A name copied from a Windows share is not UTF-8: its rows, its record
// and the vanished-file test all use the one decoded name.
TEST_F(NothingLostTest, NameThatIsNotUtf8KeepsItsRowsRunAfterRun) {
  dir_.Write("src/p/caf\xe9.bas", "c1\r\nc2\r\n");
  Config(dir_.Path("src/p"));
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const testing::Outcome outcome = Run();
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err.find("deleted"), std::string::npos) << outcome.err;
    EXPECT_EQ(Files(), Rows({"src/p/a.bas 4", "src/p/b.bas 3", "src/p/caf\u00e9.bas 4"}));
  }
  EXPECT_EQ(ReadColumn(dir_.Path("out.db"), "SELECT FileName FROM SysCodeLines_Temp_Files ORDER BY FileName"),
            Rows({dir_.Path("src/p/a.bas"), dir_.Path("src/p/b.bas"), dir_.Path("src/p/caf\u00e9.bas")}));
}

// However a folder is written, its files are loaded once, under one name.
TEST_F(NothingLostTest, SpellingsOfOneFolderAreOneFolder) {
  dir_.MakeDir("x");
  const std::string root = dir_.path().string();
  for (const std::string& spelling : {root + "/src/p", root + "/src//p", root + "/src/./p/", root + "/x/../src/p"}) {
    SCOPED_TRACE(spelling);
    Config(spelling, "REPLACE");
    const testing::Outcome outcome = Run();
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Files(), Rows({"src/p/a.bas 4", "src/p/b.bas 3"}));
  }
}

// An unmounted share leaves its empty mount point behind: nothing under it
// is taken out, and the run says so and does not end well.
TEST_F(NothingLostTest, UnmountedShareKeepsItsRows) {
  for (const bool recurse : {false, true}) {
    SCOPED_TRACE(recurse ? "recursing" : "flat");
    fs::remove(dir_.Path("out.db"));
    const std::string share = dir_.MakeDir(recurse ? "share_r" : "share_f");
    ASSERT_EQ(mount("tmpfs", share.c_str(), "tmpfs", 0, "size=1m"), 0)
        << "cannot mount a tmpfs on " << share << " (needs root): " << std::strerror(errno);
    const std::string relative = recurse ? "share_r/sub" : "share_f";
    dir_.Write(relative + "/m.bas", "m1\r\n");
    Config(share, "CHANGED", {{"SOURCE_FOLDER_AVOID_RECURSION_YES_NO", recurse ? "NO" : "YES"}});
    ASSERT_EQ(Run().status, 0);
    const Rows loaded = Files();
    ASSERT_EQ(loaded.size(), 1u);

    ASSERT_EQ(umount2(share.c_str(), MNT_DETACH), 0);
    const testing::Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("the folder \"" + share + "\" yielded no file"), std::string::npos) << outcome.err;
    EXPECT_EQ(Files(), loaded);
  }
}

// What cannot be told is not "empty": a folder that can be listed but not
// searched, and a file that cannot be read, keep their rows; the run fails.
TEST_F(NothingLostTest, FilesThatCannotBeLookedAtOrReadKeepTheirRows) {
  struct Case {
    const char* name;
    const char* mode;
    std::string lock;  // made unreadable to the run
    fs::perms perms;
  } cases[] = {
      {"folder listed but not searched, CHANGED", "CHANGED", "src/p", fs::perms::owner_read | fs::perms::others_read},
      {"unreadable file, REPLACE", "REPLACE", "src/p/a.bas", fs::perms::none},
      {"unreadable file, CHANGED", "CHANGED", "src/p/a.bas", fs::perms::none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.Path("out.db"));
    dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
    Config(dir_.Path("src/p"), c.mode);
    OpenToAll();
    ASSERT_EQ(Run("MyConfig.xml", /*as_nobody=*/true).status, 0);
    dir_.Write("src/p/a.bas", "edited\r\n");  // so that CHANGED must read it
    fs::permissions(dir_.Path(c.lock), c.perms);

    const testing::Outcome outcome = Run("MyConfig.xml", /*as_nobody=*/true);
    fs::permissions(dir_.Path(c.lock), fs::perms::all);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Permission denied"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find(" deleted"), std::string::npos) << outcome.err;
    EXPECT_EQ(Lines("src/p/a.bas"), Rows({"a1", "a2"}));
  }
}

// A mirrored file whose new version fails to load keeps its old version;
// APPEND keeps the marker rows of the failed load, as it always has.
TEST_F(NothingLostTest, FailedLoadKeepsTheOldVersionOfAMirroredFile) {
  for (const char* mode : {"REPLACE", "CHANGED", "APPEND"}) {
    SCOPED_TRACE(mode);
    fs::remove(dir_.Path("out.db"));
    dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
    Config(dir_.Path("src/p"), mode);
    ASSERT_EQ(Run().status, 0);
    dir_.Write("src/p/a.bas", "fine\r\n" + std::string(8001, 'x') + "\r\n");

    const testing::Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("line 2"), std::string::npos) << outcome.err;
    if (std::string(mode) == "APPEND") {
      EXPECT_EQ(Files(), Rows({"src/p/a.bas 6", "src/p/b.bas 6"}));
    } else {
      EXPECT_EQ(Lines("src/p/a.bas"), Rows({"a1", "a2"}));
      EXPECT_EQ(Files(), Rows({"src/p/a.bas 4", "src/p/b.bas 3"}));
    }
  }
}

// Two configurations share a table and a folder, each with its own
// extensions: neither takes out the other's files.
TEST_F(NothingLostTest, OtherExtensionsOfTheSameFolderAreNotVanished) {
  dir_.Write("src/p/c.cls", "c1\r\n");
  Config(dir_.Path("src/p"), "CHANGED", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "BAS"}}, "bas.xml");
  Config(dir_.Path("src/p"), "CHANGED", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "CLS"}}, "cls.xml");
  for (const char* config : {"bas.xml", "cls.xml", "bas.xml", "cls.xml"}) {
    SCOPED_TRACE(config);
    ASSERT_EQ(Run(config).status, 0);
  }
  EXPECT_EQ(Files(), Rows({"src/p/a.bas 4", "src/p/b.bas 3", "src/p/c.cls 3"}));
}

// A share whose clock runs behind makes a fresh edit look old by the local
// clock; an edit of the same size in the same tick must still be caught.
// A ramfs stands in for the share: a file system that is not known to stamp
// its writes with this machine's clock.
TEST_F(NothingLostTest, EditOnAShareWhoseClockIsBehindIsLoaded) {
  const std::string share = dir_.MakeDir("share");
  ASSERT_EQ(mount("ramfs", share.c_str(), "ramfs", 0, nullptr), 0)
      << "cannot mount a ramfs on " << share << " (needs root): " << std::strerror(errno);
  const std::shared_ptr<void> unmount(nullptr, [&share](void*) { umount2(share.c_str(), MNT_DETACH); });
  ASSERT_FALSE(StampsWithLocalClock(share));
  Config(share);
  dir_.Write("share/a.bas", "a1\r\na2\r\n");
  dir_.Write("share/b.bas", "b1\r\n");
  const fs::file_time_type behind = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  for (const char* name : {"share/a.bas", "share/b.bas"}) fs::last_write_time(dir_.Path(name), behind);
  ASSERT_EQ(Run().status, 0);

  dir_.Write("share/a.bas", "A1\r\nA2\r\n");  // same size, same time
  fs::last_write_time(dir_.Path("share/a.bas"), behind);
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(Lines("share/a.bas"), Rows({"A1", "A2"}));
}

// A FIFO named as the single file would never answer: it is refused at
// once, and in CHANGED no hash is tried on it either.
TEST_F(NothingLostTest, FifoAsTheSingleFileIsRefusedAtOnce) {
  const std::string fifo = dir_.Path("pipe.bas");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  for (const char* mode : {"APPEND", "CHANGED"}) {
    SCOPED_TRACE(mode);
    Config("", mode, {{"SOURCE_TEXT_FILE_NAME_WITH_PATH", fifo}});
    testing::Launch launch;
    launch.args = {"--config", "MyConfig.xml"};
    launch.folder = dir_.path().string();
    launch.out_file = dir_.Path("out.txt");
    launch.err_file = dir_.Path("err.txt");
    const pid_t child = testing::StartBinary(launch);
    int status = -1;
    for (int waited = 0; waited < 100 && waitpid(child, &status, WNOHANG) == 0; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (kill(child, 0) == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << "the run still waited on the FIFO after 10 s";
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(testing::ReadBytes(dir_.Path("err.txt")).find("a FIFO, not a regular file"), std::string::npos)
        << testing::ReadBytes(dir_.Path("err.txt"));
  }
}

// Run A walks; then another run records a file A's walk did not see. A's
// vanished-file step must leave it alone: it was not recorded when A looked.
TEST_F(NothingLostTest, FileLoadedByAnotherRunDuringTheWalkIsNotVanished) {
  Config(dir_.Path("src/p"), "CHANGED", {{"SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "BAS"}}, "other.xml");
  ASSERT_EQ(Run("other.xml").status, 0);  // the table already holds a.bas and b.bas
  testing::FixedClock clock;
  SetDateTimeSource(&clock);
  AppState state;
  state.ConfigFilePath = dir_.Path("MyConfig.xml");
  state.Destination.DestinationEngine = "SQLITE";
  state.Destination.DatabaseName = "out.db";
  state.Destination.TableName = "SysCodeLines_Temp";
  state.Destination.ColumnName = "MyCodeLine";
  state.Destination.FileNameColumnName = "FileName";
  state.Destination.LoadMode = "CHANGED";
  state.Destination.DeleteVanishedFiles = true;
  state.ConfiguredSource.FoldersList = dir_.Path("src/p");
  state.ConfiguredSource.FoldersSepChar = ";";
  state.ConfiguredSource.AvoidRecursion = true;
  state.ConfiguredSource.FileExtensions = "BAS";
  state.ConfiguredSource.RowDelimiter = "VBCRLF";
  state.Run.HeaderTempFile = dir_.Path("TempHeader.txt");
  state.Run.BatchCode = "A";

  RecordingNotifier notifier;
  testing::RecordingDisplay display;
  DisplayProgress progress{display, state.Run.BatchCode};
  bool staged = false;
  display.on_box_text = [&](const std::string& item) {
    if (staged || item != dir_.Path("src/p/a.bas")) return;
    staged = true;  // A has walked; a file appears and another run loads it
    dir_.Write("src/p/new.bas", "n1\r\n");
    ASSERT_EQ(Run("other.xml").status, 0);
  };
  LoadEngine engine(notifier, dir_.path().string());
  RunContext context{state, notifier, progress, engine, {}};
  RunExport(context);
  static_cast<void>(engine.Close());
  SetDateTimeSource(nullptr);

  ASSERT_TRUE(staged);
  EXPECT_EQ(context.counts.files_deleted, 0);
  EXPECT_EQ(Lines("src/p/new.bas"), Rows({"n1"}));
}

}  // namespace
}  // namespace corvanne
