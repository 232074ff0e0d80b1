// One load from the settings: row delimiter, object name, the request handed
// to the destination, the engine chosen, and the boxes of a failed load.
#include "run/load_engine.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

const std::string kStepFailedLine =
    "Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE.[dbo].PUT_DESTN_TABLE_NAME_HERE Step failed";

// Records the requests and answers with the results it was given.
class FakeDestination : public LoadDestination {
 public:
  explicit FakeDestination(std::vector<LoadResult> results) : results_(std::move(results)) {}
  LoadResult Open(const LoadRequest&) override { return LoadResult::Loaded(0); }
  LoadResult Verify(const LoadRequest&) override { return LoadResult::Loaded(0); }
  LoadResult Load(const LoadRequest& request) override {
    requests.push_back(request);
    return results_.at(requests.size() - 1);
  }
  LoadResult BeginUnit(const LoadRequest&) override {
    ++units_begun;
    return LoadResult::Loaded(0);
  }
  LoadResult CommitUnit() override { return unit_result; }
  void RollbackUnit() override { ++rollbacks; }
  LoadResult Close() override {
    ++closes;
    return LoadResult::Loaded(0);
  }
  std::vector<LoadRequest> requests;
  int closes = 0;
  int units_begun = 0;
  int rollbacks = 0;
  LoadResult unit_result = LoadResult::Loaded(0);  // what CommitUnit answers

 private:
  std::vector<LoadResult> results_;
};

class PackageTest : public ::testing::Test {
 protected:
  AppState SqliteState(const std::string& source, const std::string& engine = "SQLITE") const {
    AppState state;
    state.Destination.DestinationEngine = engine;
    state.Destination.DatabaseName = "lines.db";
    state.Destination.TableName = "[SysCodeLines_Temp]";
    state.Destination.ColumnName = "MyCodeLine";
    state.PackageSource.FileNameWithPath = source;
    state.PackageSource.RowDelimiter = "VBCRLF";
    state.ConfiguredSource = state.PackageSource;
    return state;
  }

  testing::TempDir dir_;
  RecordingNotifier notifier_;
};

TEST_F(PackageTest, TranslateRowDelimiter) {
  struct Case {
    const char* name;
    std::string configured;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"VBCRLF", "VBCRLF", "\r\n"},
      {"any case with blanks", "  vbCrLf ", "\r\n"},
      {"a tab is not a blank", "\tVBCRLF", "\tVBCRLF"},
      {"bar", "|", "|"},
      {"VBLF stays four letters", "VBLF", "VBLF"},
      {"backslash n stays two characters", "\\n", "\\n"},
      {"blanks kept around other text", " | ", " | "},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceSettings source;
    source.RowDelimiter = c.configured;
    EXPECT_EQ(TranslateRowDelimiter(source), c.expected);
  }
}

TEST_F(PackageTest, DestinationObjectName) {
  struct Case {
    const char* name;
    std::string database;
    std::string table;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"default table", "Code", "[SysCodeLines_Temp]", "[Code].[dbo].[SysCodeLines_Temp]"},
      {"table without brackets", "Code", "Lines", "[Code].[dbo].Lines"},
      {"] in the database not doubled", "Co]de", "Lines", "[Co]de].[dbo].Lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DestinationSettings destination;
    destination.DatabaseName = c.database;
    destination.TableName = c.table;
    EXPECT_EQ(DestinationObjectName(destination), c.expected);
  }
}

TEST_F(PackageTest, BuildLoadRequestCarriesTheSettings) {
  SourceSettings source;
  source.FileNameWithPath = "/src/a.bas";
  source.RowDelimiter = "vbcrlf";
  DestinationSettings destination{"srv", "Code", "sa", "secret", "Lines", "Col", "SQLITE", "FreeTDS",
                                  "File",  "Line", "Batch",  "Fid", " Changed", false};
  LoadRequest expected;
  expected.source_path = "/src/a.bas";
  expected.row_delimiter = "\r\n";
  expected.server = "srv";
  expected.database = "Code";
  expected.user_name = "sa";
  expected.password = "secret";
  expected.destination_object_name = "[Code].[dbo].Lines";
  expected.table_name = "Lines";
  expected.column_name = "Col";
  expected.odbc_driver_name = "FreeTDS";
  expected.columns = {"File", "Line", "Batch", "Fid"};
  expected.file_name_value = "/src/a.bas";
  expected.batch_code_value = "1__12_7_2026";
  expected.load_mode = LoadMode::kChanged;
  const LoadRequest request = BuildLoadRequest(source, destination, "1__12_7_2026");
  EXPECT_EQ(request, expected);
  EXPECT_EQ(request.max_line_chars, 8000u);
  EXPECT_EQ(request.timeout_seconds, 60);
  EXPECT_EQ(request.application_name, "DTS  Import/Export Wizard");
  EXPECT_EQ(request.step_name, kStepFailedLine.substr(0, kStepFailedLine.size() - 7));
}

TEST_F(PackageTest, ReportStepFailuresShowsTwoBoxes) {
  LoadRequest request;
  request.source_path = "/src/a.bas";
  ReportStepFailures(request, LoadResult::Loaded(0), notifier_);
  EXPECT_TRUE(notifier_.messages.empty());

  ReportStepFailures(request, LoadResult::Failed("SQLite", "database is locked"), notifier_);
  ReportStepFailures(request, LoadResult::Failed("", ""), notifier_);
  const std::vector<Message> expected = {
      {kStepFailedLine + "\r\nSQLite\r\ndatabase is locked"},
      {"Error for file... \r\n/src/a.bas"},
      {kStepFailedLine + "\r\n\r\n"},
      {"Error for file... \r\n/src/a.bas"},
  };
  EXPECT_EQ(notifier_.messages, expected);
}

TEST_F(PackageTest, EngineThatCannotLoadFailsEveryLoad) {
  struct Case {
    const char* name;
    std::string engine;
    std::string description_start;
  };
  std::vector<Case> cases = {
      {"unknown", " Oracle ", "DESTINATION_ENGINE \" Oracle \" names no destination engine"},
  };
#ifndef CORVANNE_HAVE_ODBC
  cases.push_back({"not built", "odbc", "the ODBC destination engine is not built into this program"});
  cases.push_back({"not built, default", "", "the SQLSERVER destination engine is not built into this program"});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notifier_.messages.clear();
    LoadEngine engine(notifier_, dir_.path().string());
    const AppState state = SqliteState("/src/a.bas", c.engine);
    for (int load = 0; load < 2; ++load) {
      const LoadResult result = engine.LoadFile(state, state.PackageSource.FileNameWithPath);
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.description.rfind(c.description_start, 0), 0u) << result.description;
    }
    ASSERT_EQ(notifier_.messages.size(), 4u);
    EXPECT_EQ(notifier_.messages[3].text, "Error for file... \r\n/src/a.bas");
  }
}

TEST_F(PackageTest, LoadsIntoTheSqliteFileOfTheApplicationFolder) {
  const std::string first = dir_.Write("a.bas", "Sub A()\r\nEnd Sub\r\n");
  const std::string second = dir_.Write("b.bas", "x\n");
  {
    LoadEngine engine(notifier_, dir_.path().string());
    AppState state = SqliteState(first, " sqlite ");
    EXPECT_EQ(engine.LoadFile(state, state.PackageSource.FileNameWithPath).rows, 2);
    state.PackageSource.FileNameWithPath = second;
    EXPECT_EQ(engine.LoadFile(state, state.PackageSource.FileNameWithPath).rows, 1);
  }
  EXPECT_TRUE(notifier_.messages.empty());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dir_.Path("lines.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT group_concat(MyCodeLine, '|') FROM SysCodeLines_Temp", -1, &count, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(count, 0)), "Sub A()|End Sub|x");
  sqlite3_finalize(count);
  sqlite3_close(db);
}

TEST_F(PackageTest, InjectedDestinationGetsTheRequestAndItsFailureIsReported) {
  auto fake = std::make_unique<FakeDestination>(
      std::vector<LoadResult>{LoadResult::Loaded(3), LoadResult::Failed("Fake", "row 2 refused")});
  FakeDestination* seen = fake.get();
  LoadEngine engine(notifier_, dir_.path().string());
  engine.UseDestination(std::move(fake));
  AppState state = SqliteState("/src/a.bas", "no such engine");
  EXPECT_TRUE(engine.LoadFile(state, state.PackageSource.FileNameWithPath).ok);
  state.PackageSource.FileNameWithPath = "/tmp/TempHeader.txt";
  EXPECT_FALSE(engine.LoadFile(state, state.PackageSource.FileNameWithPath).ok);
  engine.Close();
  ASSERT_EQ(seen->requests.size(), 2u);
  EXPECT_EQ(seen->requests[0], BuildLoadRequest(SqliteState("/src/a.bas").PackageSource, state.Destination));
  EXPECT_EQ(seen->closes, 1);
  const std::vector<Message> expected = {
      {kStepFailedLine + "\r\nFake\r\nrow 2 refused"},
      {"Error for file... \r\n/tmp/TempHeader.txt"},
  };
  EXPECT_EQ(notifier_.messages, expected);
}

TEST_F(PackageTest, FailedUnitCommitIsReportedForTheSourceFile) {
  auto fake = std::make_unique<FakeDestination>(std::vector<LoadResult>{});
  FakeDestination* seen = fake.get();
  LoadEngine engine(notifier_, dir_.path().string());
  engine.UseDestination(std::move(fake));
  // The boxes name the file whose loads were lost.
  const AppState state = SqliteState("/tmp/TempHeader.txt");
  LoadResult begun;
  ASSERT_TRUE(engine.BeginUnit(state, "/src/a.bas", begun).IsOpen());
  // (the unit above was rolled back when it went)
  FileUnit unit = engine.BeginUnit(state, "/src/a.bas", begun);
  EXPECT_TRUE(unit.Commit().ok);
  EXPECT_TRUE(notifier_.messages.empty());

  seen->unit_result = LoadResult::Failed("Fake", "disk full");
  unit = engine.BeginUnit(state, "/src/a.bas", begun);
  ASSERT_TRUE(begun.ok);
  const LoadResult result = unit.Commit();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(seen->units_begun, 3);
  EXPECT_EQ(seen->rollbacks, 1);
  const std::vector<Message> expected = {
      {kStepFailedLine + "\r\nFake\r\ndisk full; nothing of \"/src/a.bas\" was kept"},
      {"Error for file... \r\n/src/a.bas"},
  };
  EXPECT_EQ(notifier_.messages, expected);
}

TEST_F(PackageTest, UnitLeftOpenIsRolledBackNeverCommitted) {
  auto fake = std::make_unique<FakeDestination>(std::vector<LoadResult>{});
  FakeDestination* seen = fake.get();
  LoadEngine engine(notifier_, dir_.path().string());
  engine.UseDestination(std::move(fake));
  const AppState state = SqliteState("/src/a.bas");
  LoadResult begun;
  FileUnit moved;
  {
    FileUnit unit = engine.BeginUnit(state, "/src/a.bas", begun);
    ASSERT_TRUE(unit.IsOpen());
    moved = std::move(unit);  // the unit lives on in the move's target only
    // An exception or an early return between the markers ends up here.
  }
  EXPECT_EQ(seen->rollbacks, 0);
  moved = FileUnit();
  EXPECT_EQ(seen->rollbacks, 1);
  EXPECT_FALSE(moved.Commit().ok);  // nothing left to commit
}

TEST_F(PackageTest, UnitWithoutADestinationFailsAtItsStart) {
  LoadEngine engine(notifier_, dir_.path().string());
  const AppState state = SqliteState("/src/a.bas", " Oracle ");
  LoadResult result;
  EXPECT_FALSE(engine.BeginUnit(state, "/src/a.bas", result).IsOpen());
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.description.find("nothing of \"/src/a.bas\" was loaded"), std::string::npos);
  EXPECT_EQ(notifier_.messages.size(), 2u);
  EXPECT_FALSE(engine.Open(state).ok);
}

}  // namespace
}  // namespace corvanne
