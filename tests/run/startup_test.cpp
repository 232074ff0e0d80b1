// Start-up in this process: where the configuration is looked for, who gets
// start-up's messages, and that nothing escapes Main as a crash.
#include "run/startup.hpp"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "common/message_texts.hpp"
#include "run/binary_runner.hpp"

namespace corvanne {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    saved_err_ = std::cerr.rdbuf(err_.rdbuf());
  }
  void TearDown() override {
    std::cerr.rdbuf(saved_err_);
    std::filesystem::current_path(saved_folder_);
  }
  int Call(std::vector<std::string> args, const AttendedStarter& attended) {
    args.insert(args.begin(), "corvanne");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return Main(static_cast<int>(args.size()), argv.data(), attended);
  }

  testing::TempDir dir_;
  std::ostringstream err_;
  std::filesystem::path saved_folder_;
  std::streambuf* saved_err_ = nullptr;
};

TEST_F(StartupTest, WithoutTheWindowSaysHowToRunUnattended) {
  dir_.Write("conf/My.xml", testing::ConfigText({{"UNATTENDED_YES_NO", "NO"}}));
  EXPECT_EQ(Call({"--config", "conf/My.xml"}, {}), 2);
  EXPECT_NE(err_.str().find("this build has no window"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>"), std::string::npos);
  EXPECT_NE(err_.str().find(dir_.Path("conf/My.xml")), std::string::npos);
}

TEST_F(StartupTest, WindowGetsTheStateAndStartupMessages) {
  struct Case {
    const char* name;
    bool write_config;
    std::vector<Message> messages;
  };
  const std::string path = dir_.Path("conf/My.xml");  // given relative, resolved against the current folder
  const std::vector<Case> cases = {
      {"configuration present", true, {}},
      {"configuration missing", false, {texts::ConfigFileMissing(path)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    if (c.write_config) dir_.Write("conf/My.xml", testing::ConfigText({{"DESTINATION_TABLE_NAME", "T1"}}));
    std::vector<Message> seen;
    std::string seen_path, seen_table;
    const int status = Call({"--config", "./conf/../conf/My.xml"},
                            [&](int&, char**, AppState& state, const std::vector<Message>& messages) {
                              seen = messages;
                              seen_path = state.ConfigFilePath;
                              seen_table = state.Destination.TableName;
                              return 7;
                            });
    EXPECT_EQ(status, 7);
    EXPECT_EQ(seen, c.messages);
    EXPECT_EQ(seen_path, path);
    EXPECT_EQ(seen_table, c.write_config ? "T1" : "[SysCodeLines_Temp]");
    EXPECT_EQ(err_.str(), "");  // the window shows them, not standard error
  }
}

TEST_F(StartupTest, AnythingThrownEndsWithStatusTwoAndADescription) {
  dir_.Write("My.xml", testing::ConfigText({}));
  struct Case {
    const char* name;
    AttendedStarter starter;
    std::string said;
  };
  const std::vector<Case> cases = {
      {"a standard exception",
       [](int&, char**, AppState&, const std::vector<Message>&) -> int { throw std::runtime_error("disk on fire"); },
       "corvanne: disk on fire\n"},
      {"anything else", [](int&, char**, AppState&, const std::vector<Message>&) -> int { throw 42; },
       "corvanne: the run stopped on an unknown error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    err_.str("");
    EXPECT_EQ(Call({"--config", "My.xml"}, c.starter), 2);
    EXPECT_EQ(err_.str(), c.said);
  }
}

}  // namespace
}  // namespace corvanne
