// The built program into SQLite when runs collide or the disk fills up:
// whatever happens, the table holds files whole between their own markers.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "run/binary_runner.hpp"
#include "run/whole_units.hpp"

namespace corvanne {
namespace {

using testing::ConfigText;
using testing::ReadColumn;
namespace fs = std::filesystem;

// A tmpfs of `size` mounted on `folder` while it lives: a disk that fills up.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const std::string& size) : folder_(folder) {
    mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string error_;  // why the mount failed
};

class RunFaultsTest : public ::testing::Test {
 protected:
  // A configuration in `folder` that loads `sources` into `folder`/out.db.
  static void WriteConfig(const std::string& path, const std::string& sources) {
    std::ofstream(path, std::ios::binary) << ConfigText({{"DESTINATION_ENGINE", "SQLITE"},
                                                         {"SQL_SERVER_DATABASE_NAME", "out.db"},
                                                         {"UNATTENDED_RUN_USER_NAME", "tester"},
                                                         {"SOURCE_FOLDERS_LIST", sources},
                                                         {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                                                         {"UNATTENDED_YES_NO", "YES"}});
  }
  // Starts the program on the configuration `config`; its output goes to
  // files named after it in the test's folder.
  pid_t Start(const std::string& config) const {
    testing::Launch launch;
    launch.args = {"--config", config};
    launch.folder = dir_.path().string();
    launch.out_file = Output(config, ".out");
    launch.err_file = Output(config, ".err");
    return testing::StartBinary(launch);
  }
  std::string Output(const std::string& config, const char* extension) const {
    return dir_.Path(fs::path(config).filename().string() + extension);
  }

  testing::TempDir dir_;
};

// Two runs whose configurations sit in one folder share the header file;
// each file's lines must still sit under its own run's markers. (SQLite's
// lock lets the runs take turns only now and then: a waiting run polls, the
// loading one takes the lock back at once after each file.)
TEST_F(RunFaultsTest, TwoRunsInOneFolderKeepEveryFileUnderItsOwnMarkers) {
  constexpr int kFilesPerRun = 150;
  testing::SourceTree tree;
  WriteTree(dir_, "srcA", kFilesPerRun, tree);
  WriteTree(dir_, "srcB", kFilesPerRun, tree);
  const std::string a = dir_.Path("a.xml");
  const std::string b = dir_.Path("b.xml");
  WriteConfig(a, dir_.Path("srcA"));
  WriteConfig(b, dir_.Path("srcB"));

  const pid_t first = Start(a);
  const pid_t second = Start(b);
  EXPECT_EQ(testing::WaitFor(first), 0) << testing::ReadBytes(Output(a, ".err"));
  EXPECT_EQ(testing::WaitFor(second), 0) << testing::ReadBytes(Output(b, ".err"));

  const auto blocks = CheckWholeUnits(ReadColumn(dir_.Path("out.db")), tree);
  ASSERT_EQ(blocks.size(), 2u);
  for (const auto& [batch, serials] : blocks) {
    SCOPED_TRACE(batch);
    EXPECT_EQ(serials.size(), static_cast<std::size_t>(kFilesPerRun));
  }
}

// A disk that fills up during the run: the run fails, and what is in the
// table is whole units only. Everything the run writes (configuration,
// header file, database and its log) is on the small disk.
TEST_F(RunFaultsTest, FullDiskLeavesOnlyWholeUnits) {
  constexpr int kFiles = 300;
  testing::SourceTree tree;
  WriteTree(dir_, "src", kFiles, tree);
  const std::string disk = dir_.MakeDir("disk");
  const SmallDisk small(disk, "256k");
  ASSERT_TRUE(small.mounted()) << "cannot mount a tmpfs on " << disk << " (needs root): " << small.error();
  const std::string config = disk + "/MyConfig.xml";
  WriteConfig(config, dir_.Path("src"));

  const int status = testing::WaitFor(Start(config));
  const std::string err = testing::ReadBytes(Output(config, ".err"));
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("full"), std::string::npos) << err;

  // Read from a copy: opening the database may need room for its log.
  const std::string copy = dir_.MakeDir("copy");
  for (const char* name : {"out.db", "out.db-wal"}) {
    if (fs::exists(disk + "/" + name)) fs::copy_file(disk + "/" + name, copy + "/" + name);
  }
  const auto blocks = CheckWholeUnits(ReadColumn(copy + "/out.db"), tree, /*failed_files_allowed=*/true);
  ASSERT_EQ(blocks.size(), 1u);
  const std::size_t kept = blocks.begin()->second.size();
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, static_cast<std::size_t>(kFiles)) << "the disk never filled up";
}

}  // namespace
}  // namespace corvanne
