// Command-line parsing: the few options, their precedence, and the errors
// that name what was wrong.
#include "run/options.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace corvanne {
namespace {

TEST(OptionsTest, ParsesTheOptionsInAnyOrder) {
  struct Case {
    const char* name;
    std::vector<const char*> args;
    Action action;
    std::string config;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, Action::kRun, ""},
      {"config", {"--config", "a/My.xml"}, Action::kRun, "a/My.xml"},
      {"config with =", {"--config=/x/My.xml"}, Action::kRun, "/x/My.xml"},
      {"list after config", {"--config", "c.xml", "--list"}, Action::kList, "c.xml"},
      {"list before config", {"--list", "--config", "c.xml"}, Action::kList, "c.xml"},
      {"help wins", {"--list", "--help", "--version"}, Action::kHelp, ""},
      {"-h", {"-h"}, Action::kHelp, ""},
      {"version wins over list", {"--version", "--list"}, Action::kVersion, ""},
      {"check", {"--check", "--config", "c.xml"}, Action::kCheck, "c.xml"},
      {"init", {"--init"}, Action::kInit, ""},
      {"version wins over check", {"--check", "--version"}, Action::kVersion, ""},
      {"last config counts", {"--config", "a.xml", "--config", "b.xml"}, Action::kRun, "b.xml"},
      {"a file named like an option", {"--config", "--list"}, Action::kRun, "--list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<const char*> argv = {"corvanne"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    EXPECT_EQ(options.action, c.action);
    EXPECT_EQ(options.config_file, c.config);
  }
}

TEST(OptionsTest, InitTakesAnOptionalFile) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--init"}, ""}, {{"--init", "new.xml"}, "new.xml"}, {{"--init", "--config", "c.xml"}, ""}};
  for (const auto& [args, file] : cases) {
    std::vector<const char*> argv = {"corvanne"};
    argv.insert(argv.end(), args.begin(), args.end());
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    EXPECT_EQ(options.action, Action::kInit);
    EXPECT_EQ(options.init_file, file);
  }
}

TEST(OptionsTest, RejectsWhatItDoesNotKnow) {
  struct Case {
    const char* name;
    std::vector<const char*> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"unknown option", {"--fast"}, "unknown option \"--fast\""},
      {"single dash", {"-x"}, "unknown option \"-x\""},
      {"config without file", {"--config"}, "option --config needs a file name"},
      {"config with empty file", {"--config="}, "option --config needs a file name"},
      {"positional", {"My.xml"}, "unexpected argument \"My.xml\" (settings come from the configuration file)"},
      {"list with check", {"--list", "--check"},
       "options --list and --check cannot be used together; run them one after the other"},
      {"init with list", {"--init", "x.xml", "--list"},
       "options --init and --list cannot be used together; run them one after the other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<const char*> argv = {"corvanne"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    Options options;
    std::string error;
    EXPECT_FALSE(ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace corvanne
