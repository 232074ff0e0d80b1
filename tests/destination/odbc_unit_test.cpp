// A source file's unit on the ODBC destination, against the test PostgreSQL:
// a failed load in the middle is taken back alone, whether it was marked by
// a savepoint (several statements) or not (one statement, undone by sending
// the unit's BEGINS row again), and the unit goes on to its commit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "destination/odbc/odbc_destination.hpp"
#include "odbc_test_support.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;
using Rows = std::vector<std::string>;

// `count` lines "n" (1-based), with `odd` in place of line `odd_at` (0: none).
std::string Lines(int count, int odd_at = 0, const std::string& odd = {}) {
  std::string text;
  for (int n = 1; n <= count; ++n) text += (n == odd_at ? odd : std::to_string(n)) + "\r\n";
  return text;
}

TEST(OdbcUnitTest, AFailedLoadInsideAUnitIsTakenBackAloneAndTheUnitCommits) {
  const std::string dsn = ServerEnv("CORVANNE_TEST_PG_DSN");
  ASSERT_FALSE(dsn.empty());
  const testing::PgLogin login;
  SqlClient client(testing::ClientConnectionString(dsn, login));
  ASSERT_TRUE(client.connected());
  client.Exec("DROP TABLE IF EXISTS t_odbc_unit");
  client.Exec("CREATE TABLE t_odbc_unit (LineId bigserial PRIMARY KEY, MyCodeLine text CHECK (MyCodeLine <> 'boom'))");
  testing::TempDir dir;

  struct Case {
    const char* name;
    std::string bytes;  // the file between the markers; "" for a missing file
    bool loads;
  };
  const std::vector<Case> cases = {
      {"small file", Lines(3), true},
      {"one statement refused", Lines(3, 2, "boom"), false},
      {"several statements, the second refused", Lines(1200, 700, "boom"), false},
      {"several statements, a line over the limit", Lines(1200, 900, std::string(8001, 'x')), false},
      {"a line over the limit before anything was sent", Lines(3, 2, std::string(8001, 'x')), false},
      {"missing file", "", false},
      {"large file after the failures", Lines(1200), true},
  };
  auto destination = MakeOdbcDestination(Engine::kOdbc);
  Rows expected;
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "f" + std::to_string(++index) + ".bas";
    const LoadRequest request =
        testing::DsnLoad(dsn, login, "t_odbc_unit", c.bytes.empty() ? dir.Path(name) : dir.Write(name, c.bytes));
    LoadRequest begins = request;
    begins.row_text = "BEGINS " + name;
    LoadRequest done = request;
    done.row_text = "DONE " + name;

    ASSERT_TRUE(destination->BeginUnit(request).ok);
    ASSERT_TRUE(destination->Load(begins).ok);
    const LoadResult middle = destination->Load(request);
    EXPECT_EQ(middle.ok, c.loads) << middle.description;
    const LoadResult closing = destination->Load(done);
    EXPECT_TRUE(closing.ok) << closing.description;
    // Nothing of the unit is visible before its commit.
    EXPECT_EQ(client.Column("SELECT MyCodeLine FROM t_odbc_unit ORDER BY LineId"), expected);
    const LoadResult committed = destination->CommitUnit();
    EXPECT_TRUE(committed.ok) << committed.description;
    expected.push_back(*begins.row_text);
    if (c.loads) {
      for (int n = 1; n <= static_cast<int>(middle.rows); ++n) expected.push_back(std::to_string(n));
    }
    expected.push_back(*done.row_text);
    EXPECT_EQ(client.Column("SELECT MyCodeLine FROM t_odbc_unit ORDER BY LineId"), expected);
  }
  EXPECT_TRUE(destination->Close().ok);
  client.Exec("DROP TABLE t_odbc_unit");
}

}  // namespace
}  // namespace corvanne
