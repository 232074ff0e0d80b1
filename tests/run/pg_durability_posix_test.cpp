// Exit 0 means on disk through the native PostgreSQL engine: the crash tests
// of the durability fixture, over libpq.
#include <memory>

#include "run/durability_fixture.hpp"
#include "run/pg_test_support.hpp"

namespace corvanne {
namespace {

class PgDurabilityTest : public testing::DurabilityFixture {
 protected:
  std::map<std::string, std::string> EngineKeys() override { return testing::PgConfig("CORVANNE_TEST_PG2_PORT"); }
  void Exec(const std::string& sql) override { Client().Exec(sql); }
  std::vector<std::string> Column(const std::string& sql) override { return Client().Column(sql); }
  void Disconnect() override { client_.reset(); }
  testing::PgClient& Client() {
    if (!client_) client_ = std::make_unique<testing::PgClient>("CORVANNE_TEST_PG2_PORT");
    return *client_;
  }

  std::unique_ptr<testing::PgClient> client_;
};

TEST_F(PgDurabilityTest, ServerStoppedAtOnceAfterExitZeroKeepsEveryFile) { ExpectStoppedAtOnceKeepsEveryFile(); }

TEST_F(PgDurabilityTest, ServerCrashedWhileTheRunIsPausedLosesNoCountedFile) {
  ExpectCrashWhilePausedLosesNoCountedFile();
}

}  // namespace
}  // namespace corvanne
