// Runs into the test PostgreSQL through ODBC under harm: killed again and
// again, four loaders on one table, an exception between a file's markers
// (there also into SQLite). Files stay whole or absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include "destination/odbc_test_support.hpp"
#include "run/binary_runner.hpp"
#include "run/export.hpp"
#include "run/load_engine.hpp"
#include "run/whole_units.hpp"

namespace corvanne {
namespace {

using testing::ServerEnv;
using testing::SqlClient;
using Rows = std::vector<std::string>;

class OdbcRunFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dsn_.empty());
    client_ = std::make_unique<SqlClient>(testing::ClientConnectionString(dsn_, login_));
    ASSERT_TRUE(client_->connected());
  }
  void TearDown() override {
    if (client_ && client_->connected()) client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
  }

  void CreateTable(const std::string& more_columns = {}) {
    client_->Exec("DROP TABLE IF EXISTS \"" + table_ + "\"");
    client_->Exec("CREATE TABLE \"" + table_ + "\" (LineId bigserial PRIMARY KEY, MyCodeLine text" + more_columns +
                  ")");
  }
  // Writes the configuration `name` for an ODBC run over `sources`, with `more` keys.
  std::string Config(const std::string& name, const std::string& sources,
                     std::map<std::string, std::string> more = {}) const {
    more.insert({{"DESTINATION_ENGINE", "ODBC"},
                 {"SQL_SERVER_NAME", dsn_},
                 {"UNATTENDED_RUN_USER_NAME", login_.user},
                 {"UNATTENDED_RUN_PASSWORD", login_.password},
                 {"DESTINATION_TABLE_NAME", "[" + table_ + "]"},
                 {"SOURCE_FOLDERS_LIST", sources},
                 {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                 {"UNATTENDED_YES_NO", "YES"}});
    return dir_.Write(name, testing::ConfigText(more));
  }
  pid_t Start(const std::string& config) const {
    testing::Launch launch;
    launch.args = {"--config", config};
    launch.folder = dir_.path().string();
    launch.out_file = config + ".out";
    launch.err_file = config + ".err";
    return testing::StartBinary(launch);
  }
  Rows LineColumn() { return client_->Column("SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId"); }

  testing::TempDir dir_;
  testing::PgLogin login_;
  std::string dsn_ = ServerEnv("CORVANNE_TEST_PG_DSN");
  std::string table_ = std::string("T_RUNF_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::unique_ptr<SqlClient> client_;
};

// Killed at twenty moments spread over a run: each file in the table is
// whole between its markers, and each run's files are its first ones, in
// order, none left out.
TEST_F(OdbcRunFaultsTest, KilledTwentyTimesLeavesEveryFileWholeBetweenItsMarkers) {
  constexpr int kFiles = 200;
  constexpr int kKills = 20;
  CreateTable();
  testing::SourceTree tree;
  WriteTree(dir_, "src", kFiles, tree);
  const std::string config = Config("MyConfig.xml", dir_.Path("src"));

  // One whole run first: the kills are spread over its length.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(testing::WaitFor(Start(config)), 0) << testing::ReadBytes(config + ".err");
  const auto length = std::chrono::steady_clock::now() - start;
  for (int kill_at = 1; kill_at <= kKills; ++kill_at) {
    const pid_t child = Start(config);
    std::this_thread::sleep_for(length * kill_at / (kKills + 1));
    kill(child, SIGKILL);
    testing::WaitFor(child);
  }

  const auto blocks = CheckWholeUnits(LineColumn(), tree);
  int cut_in_the_middle = 0;
  for (const auto& [batch, serials] : blocks) {
    SCOPED_TRACE(batch);
    ASSERT_LE(serials.size(), static_cast<std::size_t>(kFiles));
    for (std::size_t i = 0; i < serials.size(); ++i) ASSERT_EQ(serials[i], static_cast<int>(i) + 1);
    if (serials.size() < static_cast<std::size_t>(kFiles)) ++cut_in_the_middle;
  }
  // Not a vacuous pass: the kills did land in the middle of runs.
  EXPECT_GE(cut_in_the_middle, 3);
}

// One row of a table with the file, line number and batch columns.
struct SourcedRow {
  int64_t line_id = 0;
  std::string file;
  int64_t line_number = 0;  // 0: NULL
  std::string batch;
  std::string text;
};

// Four processes load disjoint trees into one table at once: each file's
// lines, by line number, are the file; its markers have no line number and
// its path; each row has its run's batch code.
TEST_F(OdbcRunFaultsTest, FourLoadersAtOnceKeepEveryFileFindableAndWhole) {
  constexpr int kRuns = 4;
  constexpr int kFilesPerRun = 100;
  CreateTable(", SourceFile text, LineNo bigint, Batch text");
  std::vector<testing::SourceTree> trees(kRuns);
  std::vector<pid_t> children;
  std::vector<std::string> configs;
  for (int run = 0; run < kRuns; ++run) {
    const std::string root = "src" + std::to_string(run);
    WriteTree(dir_, root, kFilesPerRun, trees[static_cast<std::size_t>(run)]);
    configs.push_back(Config("run" + std::to_string(run) + ".xml", dir_.Path(root),
                             {{"DESTINATION_FILE_NAME_COLUMN_NAME", "SourceFile"},
                              {"DESTINATION_LINE_NUMBER_COLUMN_NAME", "LineNo"},
                              {"DESTINATION_BATCH_CODE_COLUMN_NAME", "Batch"}}));
  }
  for (const std::string& config : configs) children.push_back(Start(config));
  for (int run = 0; run < kRuns; ++run) {
    const std::string& config = configs[static_cast<std::size_t>(run)];
    EXPECT_EQ(testing::WaitFor(children[static_cast<std::size_t>(run)]), 0) << testing::ReadBytes(config + ".err");
  }

  // One row a value, the fields joined by '|' (which no path or batch code holds).
  std::map<std::string, std::vector<SourcedRow>> by_file;
  for (const std::string& value :
       client_->Column("SELECT LineId || '|' || coalesce(SourceFile, '') || '|' || coalesce(LineNo, 0) || '|' || "
                       "coalesce(Batch, '') || '|' || MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId")) {
    SourcedRow row;
    std::size_t at = 0;
    const auto field = [&] {
      const std::size_t bar = value.find('|', at);
      std::string text = value.substr(at, bar - at);
      at = bar + 1;
      return text;
    };
    row.line_id = std::stoll(field());
    row.file = field();
    row.line_number = std::stoll(field());
    row.batch = field();
    row.text = value.substr(at);
    by_file[row.file].push_back(row);
  }

  std::set<std::string> batches;
  std::vector<std::pair<int64_t, int64_t>> spans;  // each run's first and last LineId
  for (const testing::SourceTree& tree : trees) {
    std::string run_batch;
    int64_t first = INT64_MAX;
    int64_t last = 0;
    for (const auto& [marker_name, path] : tree.paths) {
      SCOPED_TRACE(path);
      const std::vector<SourcedRow> rows = by_file[path];
      by_file.erase(path);
      ASSERT_FALSE(rows.empty());
      Rows markers;
      std::vector<std::pair<int64_t, std::string>> lines;
      for (const SourcedRow& row : rows) {
        if (row.line_number == 0) {
          markers.push_back(row.text);
        } else {
          lines.emplace_back(row.line_number, row.text);
        }
        if (run_batch.empty()) run_batch = row.batch;
        EXPECT_EQ(row.batch, run_batch) << "every row of a run has its batch code";
        first = std::min(first, row.line_id);
        last = std::max(last, row.line_id);
      }
      std::sort(lines.begin(), lines.end());
      Rows texts;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].first, static_cast<int64_t>(i) + 1);
        texts.push_back(lines[i].second);
      }
      EXPECT_EQ(texts, tree.lines.at(marker_name));
      ASSERT_EQ(markers.size(), 2u);
      EXPECT_EQ(testing::TagOf(markers[0], "TASK_STATUS"), "BEGINS");
      EXPECT_EQ(testing::TagOf(markers[1], "TASK_STATUS"), "DONE");
      for (const std::string& marker : markers) {
        EXPECT_EQ(testing::TagOf(marker, "FILE_NAME"), marker_name);
        EXPECT_EQ(testing::TagOf(marker, "BATCH_CODE"), testing::UpperAscii(run_batch));
      }
    }
    batches.insert(run_batch);
    spans.emplace_back(first, last);
  }
  // Some runs' rows interleave in the table: the loads did run at once.
  bool overlapped = false;
  for (const auto& one : spans) {
    for (const auto& other : spans) overlapped = overlapped || (&one != &other && one.first < other.first && other.first < one.second);
  }
  EXPECT_EQ(batches.size(), static_cast<std::size_t>(kRuns));
  EXPECT_TRUE(by_file.empty()) << "rows of no file in the trees, e.g. of " << by_file.begin()->first;
  EXPECT_TRUE(overlapped);
}

// Throws on the first message: an error report that ends the run.
class ThrowingNotifier : public Notifier {
 public:
  void Show(const Message& message) override { throw std::runtime_error(message.text); }
};

// An exception between a file's BEGINS and DONE rows, or an engine that goes
// away with the file's unit open, leaves no row of that file: into
// PostgreSQL through ODBC and into SQLite.
TEST_F(OdbcRunFaultsTest, ExceptionBetweenTheMarkersLeavesNothingOfTheFile) {
  struct Case {
    const char* name;
    const char* engine;
    bool through_the_run;  // true: the notifier throws at a failed load; false: the engine is destroyed
  };
  const Case cases[] = {
      {"ODBC, thrown by the run", "ODBC", true},
      {"ODBC, engine destroyed", "ODBC", false},
      {"SQLite, thrown by the run", "SQLITE", true},
      {"SQLite, engine destroyed", "SQLITE", false},
  };
  const std::string a = dir_.Write("src/p/a.bas", "a1\r\na2\r\n");
  const std::string b = dir_.Write("src/p/b.bas", "b1\r\n" + std::string(8001, 'x') + "\r\n");
  const Rows kept = {"BEGINS 1 " + testing::UpperAscii(a), "a1", "a2", "DONE 1 " + testing::UpperAscii(a)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool odbc = std::string(c.engine) == "ODBC";
    CreateTable();
    std::filesystem::remove(dir_.Path("lines.db"));
    AppState state;
    state.ConfigFilePath = dir_.Path("MyConfig.xml");
    state.Destination.DestinationEngine = c.engine;
    state.Destination.ServerName = dsn_;
    state.Destination.DatabaseName = "lines.db";
    state.Destination.UserName = login_.user;
    state.Destination.Password = login_.password;
    state.Destination.TableName = "[" + table_ + "]";
    state.Destination.ColumnName = "MyCodeLine";
    state.ConfiguredSource.FoldersList = dir_.Path("src");
    state.ConfiguredSource.FoldersSepChar = ";";
    state.ConfiguredSource.FileExtensions = "BAS";
    state.ConfiguredSource.RowDelimiter = "VBCRLF";
    state.Run.HeaderTempFile = dir_.Path("TempHeader.txt");
    state.Run.BatchCode = "7__1_2_2026_3_04_05_PM";
    NoProgress progress;
    ThrowingNotifier notifier;
    {
      LoadEngine engine(notifier, ApplicationFolder(state));
      RunContext context{state, notifier, progress, engine, {}};
      if (c.through_the_run) {
        // a.bas loads; b.bas's line 2 is over the limit, and its report throws.
        EXPECT_THROW(RunExport(context), std::runtime_error);
      } else {
        ASSERT_TRUE(engine.Open(state).ok);
        ExportOneFile(context, a, 1, LookAtFile(a));
        const std::string c_path = dir_.Write("src/p/c.bas", "c1\r\n");
        LoadResult begun;
        FileUnit unit = engine.BeginUnit(state, c_path, begun);
        ASSERT_TRUE(unit.IsOpen());
        ASSERT_TRUE(unit.AddMarkerRow("<TASK_STATUS>BEGINS</TASK_STATUS>").ok);
        ASSERT_TRUE(unit.LoadLines().ok);
        std::filesystem::remove(c_path);
      }
    }
    Rows rows = odbc ? LineColumn()
                     : testing::ReadColumn(dir_.Path("lines.db"),
                                           "SELECT MyCodeLine FROM \"" + table_ + "\" ORDER BY LineId");
    for (std::string& row : rows) row = testing::Brief(row);
    EXPECT_EQ(rows, kept);
  }
}

}  // namespace
}  // namespace corvanne
