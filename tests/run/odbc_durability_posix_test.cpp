// Exit 0 means on disk through ODBC: the crash tests of the durability
// fixture, over the second test server's data source.
#include <memory>

#include "destination/odbc_test_support.hpp"
#include "run/durability_fixture.hpp"

namespace corvanne {
namespace {

class OdbcDurabilityTest : public testing::DurabilityFixture {
 protected:
  std::map<std::string, std::string> EngineKeys() override {
    return {{"DESTINATION_ENGINE", "ODBC"},
            {"SQL_SERVER_NAME", dsn_},
            {"UNATTENDED_RUN_USER_NAME", login_.user},
            {"UNATTENDED_RUN_PASSWORD", login_.password}};
  }
  void Exec(const std::string& sql) override { Client().Exec(sql); }
  std::vector<std::string> Column(const std::string& sql) override { return Client().Column(sql); }
  void Disconnect() override { client_.reset(); }
  testing::SqlClient& Client() {
    if (!client_) client_ = std::make_unique<testing::SqlClient>(testing::ClientConnectionString(dsn_, login_));
    return *client_;
  }

  testing::PgLogin login_;
  std::string dsn_ = testing::ServerEnv("CORVANNE_TEST_PG2_DSN");
  std::unique_ptr<testing::SqlClient> client_;
};

TEST_F(OdbcDurabilityTest, ServerStoppedAtOnceAfterExitZeroKeepsEveryFile) { ExpectStoppedAtOnceKeepsEveryFile(); }

TEST_F(OdbcDurabilityTest, ServerCrashedWhileTheRunIsPausedLosesNoCountedFile) {
  ExpectCrashWhilePausedLosesNoCountedFile();
}

}  // namespace
}  // namespace corvanne
