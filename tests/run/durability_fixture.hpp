// Exit 0 means on disk, for every engine that commits asynchronously: runs
// into the second test PostgreSQL, which is then stopped at once, or crashed
// and brought back while the run is paused. Every file the run counts is in
// the table, once. Each engine's test supplies its keys and a client.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "run/binary_runner.hpp"
#include "run/whole_units.hpp"
#include "testing/file_lock.hpp"

namespace corvanne::testing {

class DurabilityFixture : public ::testing::Test {
 protected:
  static constexpr int kFiles = 1500;

  // The engine's configuration keys for the second server.
  virtual std::map<std::string, std::string> EngineKeys() = 0;
  // Runs `sql` on the second server (a test failure when it fails).
  virtual void Exec(const std::string& sql) = 0;
  // The first column of `sql`'s rows on the second server.
  virtual std::vector<std::string> Column(const std::string& sql) = 0;
  // Drops the client's connection (before the server stops).
  virtual void Disconnect() = 0;

  void SetUp() override {
    lock_ = std::make_unique<FileLock>(data_.empty() ? std::string() : data_ + ".lock");
    ASSERT_FALSE(pg_ctl_.empty());
    ASSERT_FALSE(data_.empty());
    Exec("DROP TABLE IF EXISTS durable_lines");
    Exec("CREATE TABLE durable_lines (LineId bigserial PRIMARY KEY, MyCodeLine text)");
    WriteTree(dir_, "src", kFiles, tree_);
    std::map<std::string, std::string> config = EngineKeys();
    config.insert({{"DESTINATION_TABLE_NAME", "durable_lines"},
                   {"SOURCE_FOLDERS_LIST", dir_.Path("src")},
                   {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                   {"UNATTENDED_YES_NO", "YES"}});
    dir_.Write("MyConfig.xml", ConfigText(config));
  }
  void TearDown() override {
    if (stopped_) Server("start");
    Exec("DROP TABLE IF EXISTS durable_lines");
    Disconnect();
    lock_.reset();
  }
  // "stop" is immediate: the server goes as in a crash, recovering from its log.
  void Server(const std::string& action) {
    Disconnect();
    const std::string command = pg_ctl_ + " -D " + data_ + " -l " + data_ + ".log -w -t 60 " +
                                (action == "stop" ? "-m immediate " : "") + action + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    stopped_ = action == "stop";
  }
  pid_t Start() const {
    Launch launch;
    launch.args = {"--config", "MyConfig.xml"};
    launch.folder = dir_.path().string();
    launch.out_file = dir_.Path("out.txt");
    launch.err_file = dir_.Path("err.txt");
    // A run stopped from outside may be stopped in the leak check at its
    // exit, which then cannot read the stopped thread and says so: its other
    // checks stay on.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    launch.set = {{"ASAN_OPTIONS", std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0"}};
    return StartBinary(launch);
  }
  // The serials of each batch's whole files in the table.
  std::map<std::string, std::vector<int>> Units() {
    return CheckWholeUnits(Column("SELECT MyCodeLine FROM durable_lines ORDER BY LineId"), tree_);
  }
  // The files the closing line counts as loaded.
  int CountedLoaded() const {
    const std::string err = ReadBytes(dir_.Path("err.txt"));
    std::size_t at = err.rfind("corvanne: ");
    if (at == std::string::npos) return -1;
    std::string digits;
    for (at += 10; at < err.size() && (std::isdigit(static_cast<unsigned char>(err[at])) || err[at] == ','); ++at) {
      if (err[at] != ',') digits += err[at];
    }
    return digits.empty() ? -1 : std::stoi(digits);
  }

  // A run that exits 0, then the server stopped at once: every file is there.
  void ExpectStoppedAtOnceKeepsEveryFile() {
    for (int attempt = 1; attempt <= 3; ++attempt) {
      SCOPED_TRACE(attempt);
      Exec("TRUNCATE durable_lines");
      ASSERT_EQ(WaitFor(Start()), 0) << ReadBytes(dir_.Path("err.txt"));
      Server("stop");
      Server("start");
      const auto units = Units();
      ASSERT_EQ(units.size(), 1u);
      EXPECT_EQ(units.begin()->second.size(), static_cast<std::size_t>(kFiles));
    }
  }

  // The server crashed and started again while the run is paused: what the
  // run counts is in the table once, and all of it when it exits 0.
  void ExpectCrashWhilePausedLosesNoCountedFile() {
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(WaitFor(Start()), 0);
    const auto length = std::chrono::steady_clock::now() - begin;
    int paused_mid_run = 0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      SCOPED_TRACE(attempt);
      Exec("TRUNCATE durable_lines");
      const pid_t child = Start();
      std::this_thread::sleep_for(length * attempt / 5);
      if (kill(child, SIGSTOP) == 0 && ReadBytes(dir_.Path("err.txt")).empty()) ++paused_mid_run;
      Server("stop");
      Server("start");
      kill(child, SIGCONT);
      const int status = WaitFor(child);
      const std::string err = ReadBytes(dir_.Path("err.txt"));
      const auto units = Units();
      ASSERT_EQ(units.size(), 1u) << err;
      const std::set<int> serials(units.begin()->second.begin(), units.begin()->second.end());
      EXPECT_EQ(serials.size(), units.begin()->second.size()) << "a file is in the table twice";
      EXPECT_EQ(static_cast<int>(serials.size()), CountedLoaded()) << err;
      if (status == 0) {
        EXPECT_EQ(serials.size(), static_cast<std::size_t>(kFiles)) << err;
      }
    }
    EXPECT_GE(paused_mid_run, 2) << "the crashes did not land in the middle of runs";
  }

  TempDir dir_;
  SourceTree tree_;
  std::string pg_ctl_ = std::getenv("CORVANNE_TEST_PG_CTL") ? std::getenv("CORVANNE_TEST_PG_CTL") : "";
  std::string data_ = std::getenv("CORVANNE_TEST_PG2_DATA") ? std::getenv("CORVANNE_TEST_PG2_DATA") : "";
  bool stopped_ = false;
  std::unique_ptr<FileLock> lock_;  // held from SetUp to TearDown: other tests stop this server too
};

}  // namespace corvanne::testing
