// The ODBC destination when the server goes away: a dropped connection is
// opened again, a stopped server fails the remaining loads cleanly, and
// nothing is ever half-written. Uses the second test instance, which no
// other test touches, because it is stopped and started here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "destination/odbc/odbc_destination.hpp"
#include "odbc_test_support.hpp"
#include "testing/file_lock.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;

class OdbcServerLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dsn_.empty());
    ASSERT_FALSE(pg_ctl_.empty());
    ASSERT_FALSE(data_.empty());
    Client().Exec("DROP TABLE IF EXISTS loss_lines");
    Client().Exec("CREATE TABLE loss_lines (LineId bigserial PRIMARY KEY, MyCodeLine text)");
  }
  void TearDown() override {
    // Leaves the instance running for the next run of this test.
    if (stopped_) Server("start");
  }

  SqlClient& Client() {
    if (!client_) client_ = std::make_unique<SqlClient>(testing::ClientConnectionString(dsn_, login_));
    return *client_;
  }

  void Server(const std::string& action) {
    client_.reset();
    const std::string command = pg_ctl_ + " -D " + data_ + " -l " + data_ + ".log -w -m fast " + action +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    stopped_ = action == "stop";
  }

  LoadRequest Request(const std::string& name, const std::string& bytes) const {
    return testing::DsnLoad(dsn_, login_, "loss_lines", dir_.Write(name, bytes));
  }

  // A server stopped during a load leaves none of that file's rows.
  void StopDuringALoad();

  std::vector<std::string> Rows() { return Client().Column("SELECT MyCodeLine FROM loss_lines ORDER BY LineId"); }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string dsn_ = ServerEnv("CORVANNE_TEST_PG2_DSN");
  std::string pg_ctl_ = ServerEnv("CORVANNE_TEST_PG_CTL");
  std::string data_ = ServerEnv("CORVANNE_TEST_PG2_DATA");
  // Held while the test lives: the durability tests stop this server too.
  testing::FileLock lock_{data_.empty() ? std::string() : data_ + ".lock"};
  std::unique_ptr<SqlClient> client_;
  bool stopped_ = false;
};

TEST_F(OdbcServerLossTest, ReconnectsOnceStopsCleanlyAndNeverHalfWrites) {
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  ASSERT_TRUE(destination->Load(Request("1.bas", "one\r\n")).ok);

  // The server ends the session between two loads: the next load opens a
  // new connection and is written exactly once.
  const std::vector<std::string> terminated = Client().Column(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
      "WHERE datname = current_database() AND pid <> pg_backend_pid() AND backend_type = 'client backend'");
  ASSERT_EQ(terminated.size(), 1u);
  const LoadResult after_drop = destination->Load(Request("2.bas", "two\r\n"));
  EXPECT_TRUE(after_drop.ok) << after_drop.description;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"one", "two"}));

  // The server stops: the next loads fail, each naming its file, and the
  // second without trying the server again.
  Server("stop");
  std::vector<LoadResult> failed;
  for (const char* name : {"3.bas", "4.bas"}) failed.push_back(destination->Load(Request(name, "lost\r\n")));
  for (const LoadResult& result : failed) {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.source, "ODBC data source \"" + dsn_ + "\"");
    EXPECT_NE(result.description.find("cannot connect: [08"), std::string::npos) << result.description;
    EXPECT_EQ(result.description.find(login_.password), std::string::npos);
  }
  EXPECT_NE(failed[0].description.find("3.bas"), std::string::npos);
  EXPECT_NE(failed[1].description.find("4.bas"), std::string::npos);

  // Back up: the run that saw it down keeps failing at once; the next run
  // (after Close) connects again.
  Server("start");
  EXPECT_FALSE(destination->Load(Request("5.bas", "still this run\r\n")).ok);
  destination->Close();
  const LoadResult next_run = destination->Load(Request("6.bas", "next run\r\n"));
  EXPECT_TRUE(next_run.ok) << next_run.description;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"one", "two", "next run"}));
  destination->Close();
  StopDuringALoad();
}

// One test, not two: both stop the same instance.
void OdbcServerLossTest::StopDuringALoad() {
  Client().Exec("TRUNCATE loss_lines");
  std::string big;
  for (int i = 0; i < 400000; ++i) big += "Private Sub Line" + std::to_string(i) + "()\r\n";
  const LoadRequest request = Request("big.bas", big);
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  ASSERT_TRUE(destination->Load(Request("warm.bas", "warm\r\n")).ok);
  LoadResult result;
  std::thread load([&] { result = destination->Load(request); });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  Server("stop");
  load.join();
  Server("start");
  destination->Close();
  // Whether the stop came in time or not, the file is in whole or not at all.
  const std::vector<std::string> rows = Rows();
  RecordProperty("load_cut_by_stop", result.ok ? "no" : "yes");
  if (result.ok) {
    EXPECT_EQ(rows.size(), 400001u);
  } else {
    EXPECT_EQ(rows, std::vector<std::string>{"warm"}) << result.description;
    EXPECT_NE(result.description.find("big.bas"), std::string::npos) << result.description;
  }
}

}  // namespace
}  // namespace corvanne
