// The built program under harsh conditions: killed in the middle of a run,
// and watched from a real terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "run/binary_runner.hpp"

namespace corvanne {
namespace {

using testing::ConfigText;
using testing::ReadColumn;
using testing::TagOf;
namespace fs = std::filesystem;

constexpr int kFiles = 40;
constexpr int kLinesPerFile = 40000;

class EndToEndFaultsTest : public ::testing::Test {
 protected:
  std::string Config() {
    return dir_.Write("MyConfig.xml", ConfigText({{"DESTINATION_ENGINE", "SQLITE"},
                                                  {"SQL_SERVER_DATABASE_NAME", "out.db"},
                                                  {"UNATTENDED_RUN_USER_NAME", "tester"},
                                                  {"SOURCE_FOLDERS_LIST", "src"},
                                                  {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                                                  {"UNATTENDED_YES_NO", "YES"}}));
  }
  testing::Launch LaunchIn() const {
    testing::Launch launch;
    launch.args = {"--config", "MyConfig.xml"};
    launch.folder = dir_.path().string();
    launch.out_file = dir_.Path("stdout.txt");
    launch.err_file = dir_.Path("stderr.txt");
    return launch;
  }
  testing::TempDir dir_;
};

std::string LineOf(int file, int line) {
  return "file " + std::to_string(file) + " line " + std::to_string(line) + " Dim x As String";
}

int64_t CountBegins(const std::string& database) {
  const auto rows = ReadColumn(database, "SELECT count(*) FROM SysCodeLines_Temp WHERE MyCodeLine LIKE "
                                         "'<TASK_STATUS>BEGINS<%'");
  return rows.empty() ? 0 : std::stoll(rows[0]);
}

// Whatever moment the process dies at, every file in the table is whole
// between its markers, and a file cut short has no rows at all, not even its
// BEGINS row.
TEST_F(EndToEndFaultsTest, KilledInTheMiddleLeavesOnlyWholeFiles) {
  for (int f = 0; f < kFiles; ++f) {
    std::string text;
    for (int l = 1; l <= kLinesPerFile; ++l) text += LineOf(f, l) + "\r\n";
    char name[32];
    std::snprintf(name, sizeof name, "src/p/f%02d.bas", f);
    dir_.Write(name, text);
  }
  Config();
  const std::string database = dir_.Path("out.db");

  const pid_t child = testing::StartBinary(LaunchIn());
  bool exited_early = false;
  for (int tries = 0; tries < 6000 && CountBegins(database) < 4; ++tries) {
    int raw = 0;
    if (waitpid(child, &raw, WNOHANG) == child) {
      exited_early = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(exited_early) << "the run ended before it could be killed";
  kill(child, SIGKILL);
  int raw = 0;
  ASSERT_EQ(waitpid(child, &raw, 0), child);
  ASSERT_TRUE(WIFSIGNALED(raw));

  const std::vector<std::string> rows = ReadColumn(database);
  std::size_t i = 0;
  int whole = 0;
  while (i < rows.size()) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    ASSERT_EQ(TagOf(rows[i], "TASK_STATUS"), "BEGINS");
    const int serial = std::stoi(TagOf(rows[i], "FILE_SERIAL_NUMBER"));
    ASSERT_EQ(serial, whole + 1) << "files are kept in run order, none left out";
    const int file = serial - 1;
    std::size_t j = i + 1;
    while (j < rows.size() && rows[j].rfind("<TASK_STATUS>", 0) != 0) ++j;
    const std::size_t lines = j - i - 1;
    if (lines > 0) {
      ASSERT_EQ(lines, static_cast<std::size_t>(kLinesPerFile)) << "a file was cut short";
      for (std::size_t k = 0; k < lines; k += 997) EXPECT_EQ(rows[i + 1 + k], LineOf(file, static_cast<int>(k) + 1));
      EXPECT_EQ(rows[j - 1], LineOf(file, kLinesPerFile));
    }
    ASSERT_LT(j, rows.size()) << "a file cut short left rows behind";
    ASSERT_EQ(TagOf(rows[j], "TASK_STATUS"), "DONE");
    ASSERT_EQ(TagOf(rows[j], "FILE_SERIAL_NUMBER"), std::to_string(serial));
    ASSERT_EQ(lines, static_cast<std::size_t>(kLinesPerFile)) << "a whole file is missing between its markers";
    ++whole;
    i = j + 1;
  }
  EXPECT_GE(whole, 3);
  EXPECT_LT(whole, kFiles);

  // The database is usable after the kill: a new run appends a whole batch.
  const int status = testing::WaitFor(testing::StartBinary(LaunchIn()));
  EXPECT_EQ(status, 0) << testing::ReadBytes(dir_.Path("stderr.txt"));
  EXPECT_EQ(CountBegins(database), static_cast<int64_t>(whole + kFiles));
}

// At a terminal the run shows its progress line and closes with a summary.
TEST_F(EndToEndFaultsTest, TerminalSeesProgressAndSummary) {
  dir_.Write("src/p/a.frm", "1\r\n2\r\n");
  dir_.Write("src/p/b.frm", "");
  dir_.Write("src/p/c.frm", "3\r\n");
  Config();
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);

  testing::Launch launch = LaunchIn();
  launch.err_fd = terminal;
  const pid_t child = testing::StartBinary(launch);
  close(terminal);
  std::string seen;
  char buffer[4096];
  for (;;) {
    pollfd wait{master, POLLIN, 0};
    if (poll(&wait, 1, 20000) <= 0) break;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // the child closed its end
    seen.append(buffer, static_cast<std::size_t>(got));
  }
  close(master);
  EXPECT_EQ(testing::WaitFor(child), 0) << seen;
  EXPECT_NE(seen.find("\rfile 1 of 3, 0 lines, "), std::string::npos) << seen;
  EXPECT_NE(seen.find("corvanne: 2 files loaded, 1 passed over, 0 failed, 3 lines in "), std::string::npos) << seen;
  EXPECT_EQ(ReadColumn(dir_.Path("out.db")).size(), 7u);
}

}  // namespace
}  // namespace corvanne
