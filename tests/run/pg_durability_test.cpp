// Exit 0 means on disk, through the native PostgreSQL engine: runs into the
// second test server (commits there are asynchronous), which is then stopped
// at once, or crashed and brought back while the run is paused. Every file
// the run counts is in the table, once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cctype>
#include <set>
#include <thread>

#include "run/binary_runner.hpp"
#include "run/pg_test_support.hpp"
#include "run/whole_units.hpp"

namespace corvanne {
namespace {

using testing::PgClient;

constexpr int kFiles = 1500;

class PgDurabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pg_ctl_.empty());
    Client().Exec("DROP TABLE IF EXISTS durable_lines");
    Client().Exec("CREATE TABLE durable_lines (LineId bigserial PRIMARY KEY, MyCodeLine text)");
    testing::WriteTree(dir_, "src", kFiles, tree_);
    std::map<std::string, std::string> config = testing::PgConfig("CORVANNE_TEST_PG2_PORT");
    config.insert({{"DESTINATION_TABLE_NAME", "durable_lines"},
                   {"SOURCE_FOLDERS_LIST", dir_.Path("src")},
                   {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"}});
    dir_.Write("MyConfig.xml", testing::ConfigText(config));
  }
  void TearDown() override {
    if (stopped_) Server("start");
    if (client_) client_->Exec("DROP TABLE IF EXISTS durable_lines");
  }
  PgClient& Client() {
    if (!client_) client_ = std::make_unique<PgClient>("CORVANNE_TEST_PG2_PORT");
    return *client_;
  }
  // "stop" is immediate: the server goes as in a crash, recovering from its log.
  void Server(const std::string& action) {
    client_.reset();
    const std::string command = pg_ctl_ + " -D " + data_ + " -l " + data_ + ".log -w -t 60 " +
                                (action == "stop" ? "-m immediate " : "") + action + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    stopped_ = action == "stop";
  }
  pid_t Start() const {
    testing::Launch launch;
    launch.args = {"--config", "MyConfig.xml"};
    launch.folder = dir_.path().string();
    launch.out_file = dir_.Path("out.txt");
    launch.err_file = dir_.Path("err.txt");
    return testing::StartBinary(launch);
  }
  // The serials of each batch's whole files in the table.
  std::map<std::string, std::vector<int>> Units() {
    return testing::CheckWholeUnits(Client().Column("SELECT MyCodeLine FROM durable_lines ORDER BY LineId"), tree_);
  }
  // The files the closing line counts as loaded.
  int CountedLoaded() const {
    const std::string err = testing::ReadBytes(dir_.Path("err.txt"));
    std::size_t at = err.rfind("corvanne: ");
    if (at == std::string::npos) return -1;
    std::string digits;
    for (at += 10; at < err.size() && (std::isdigit(static_cast<unsigned char>(err[at])) || err[at] == ','); ++at) {
      if (err[at] != ',') digits += err[at];
    }
    return digits.empty() ? -1 : std::stoi(digits);
  }

  testing::TempDir dir_;
  testing::SourceTree tree_;
  std::string pg_ctl_ = testing::PgEnv("CORVANNE_TEST_PG_CTL");
  std::string data_ = testing::PgEnv("CORVANNE_TEST_PG2_DATA");
  std::unique_ptr<PgClient> client_;
  bool stopped_ = false;
};

TEST_F(PgDurabilityTest, ServerStoppedAtOnceAfterExitZeroKeepsEveryFile) {
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    Client().Exec("TRUNCATE durable_lines");
    ASSERT_EQ(testing::WaitFor(Start()), 0) << testing::ReadBytes(dir_.Path("err.txt"));
    Server("stop");
    Server("start");
    const auto units = Units();
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units.begin()->second.size(), static_cast<std::size_t>(kFiles));
  }
}

TEST_F(PgDurabilityTest, ServerCrashedWhileTheRunIsPausedLosesNoCountedFile) {
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(testing::WaitFor(Start()), 0);
  const auto length = std::chrono::steady_clock::now() - begin;
  int paused_mid_run = 0;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    Client().Exec("TRUNCATE durable_lines");
    const pid_t child = Start();
    std::this_thread::sleep_for(length * attempt / 5);
    if (kill(child, SIGSTOP) == 0 && testing::ReadBytes(dir_.Path("err.txt")).empty()) ++paused_mid_run;
    Server("stop");
    Server("start");
    kill(child, SIGCONT);
    const int status = testing::WaitFor(child);
    const std::string err = testing::ReadBytes(dir_.Path("err.txt"));
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

}  // namespace
}  // namespace corvanne
