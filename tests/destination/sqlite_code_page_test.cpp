// Source files in other code pages, loaded into SQLite: every row is valid
// UTF-8 text, the codec's text line by line; BYTES keeps the bytes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "destination/sqlite/sqlite_destination.hpp"
#include "testing/code_page_samples.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

// The rows of the table in load order, and whether each is valid text.
std::vector<std::string> StoredRows(const std::string& database) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  sqlite3_prepare_v2(db, "SELECT MyCodeLine, typeof(MyCodeLine) FROM Lines ORDER BY LineId", -1, &statement,
                     nullptr);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 0));
    rows.emplace_back(bytes == nullptr ? "" : std::string(bytes, sqlite3_column_bytes(statement, 0)));
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)), "text");
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

class SqliteCodePageTest : public ::testing::Test {
 protected:
  LoadResult Load(const testing::CodePageSample& sample, const std::string& database) {
    LoadRequest request;
    request.source_path = dir_.Write("sample.bas", sample.bytes);
    request.row_delimiter = sample.delimiter;
    request.code_page = sample.code_page;
    request.undecodable_bytes = sample.undecodable;
    request.database = database;
    request.table_name = "Lines";
    request.column_name = "MyCodeLine";
    auto destination = MakeSqliteDestination(dir_.path().string());
    LoadResult result = destination->Load(request);
    EXPECT_TRUE(destination->Close().ok);
    return result;
  }
  testing::TempDir dir_;
};

TEST_F(SqliteCodePageTest, EveryRowIsTheCodecsText) {
  int n = 0;
  for (const testing::CodePageSample& sample : testing::CodePageSamples()) {
    SCOPED_TRACE(sample.name);
    const std::string database = "db" + std::to_string(++n) + ".db";
    const LoadResult result = Load(sample, database);
    ASSERT_TRUE(result.ok) << result.description;
    EXPECT_EQ(StoredRows(dir_.Path(database)), sample.rows);
  }
  for (const testing::FailingSample& failing : testing::FailingSamples()) {
    SCOPED_TRACE(failing.sample.name);
    const std::string database = "failed" + std::to_string(++n) + ".db";
    const LoadResult failed = Load(failing.sample, database);
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.description.find(failing.error), std::string::npos) << failed.description;
    EXPECT_TRUE(StoredRows(dir_.Path(database)).empty());
  }
  // Under BYTES nothing is decoded: what was read is what is stored.
  const testing::CodePageSample bytes{"BYTES", "Caf\xE9\r\n\xA4\x7C", "\r\n", "BYTES", {"Caf\xE9", "\xA4\x7C"}};
  ASSERT_TRUE(Load(bytes, "bytes.db").ok);
  EXPECT_EQ(StoredRows(dir_.Path("bytes.db")), bytes.rows);
}

}  // namespace
}  // namespace corvanne
