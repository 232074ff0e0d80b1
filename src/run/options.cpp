// Command-line options of corvanne. Kept apart from start-up so that the
// parsing can be tried on its own.
#include "run/options.hpp"

#include <string_view>

namespace corvanne {

namespace {

// The more informative action wins whatever the order on the line.
int Rank(Action action) {
  switch (action) {
    case Action::kHelp: return 4;
    case Action::kVersion: return 3;
    case Action::kCheck: return 2;
    case Action::kList: return 1;
    case Action::kRun: break;
  }
  return 0;
}

void Raise(Options& options, Action action) {
  if (Rank(action) > Rank(options.action)) options.action = action;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Raise(options, Action::kHelp);
    } else if (arg == "--version") {
      Raise(options, Action::kVersion);
    } else if (arg == "--list") {
      Raise(options, Action::kList);
    } else if (arg == "--check") {
      Raise(options, Action::kCheck);
    } else if (arg == "--config" || arg.starts_with("--config=")) {
      std::string_view value;
      if (arg == "--config") {
        if (i + 1 >= argc) {
          error = "option --config needs a file name";
          return false;
        }
        value = argv[++i];
      } else {
        value = arg.substr(std::string_view("--config=").size());
      }
      if (value.empty()) {
        error = "option --config needs a file name";
        return false;
      }
      options.config_file = value;
    } else if (arg.starts_with("-")) {
      error = "unknown option \"" + std::string(arg) + "\"";
      return false;
    } else {
      error = "unexpected argument \"" + std::string(arg) + "\" (settings come from the configuration file)";
      return false;
    }
  }
  return true;
}

std::string UsageText() {
  return "Usage: corvanne [--config FILE] [--list | --check]\n"
         "       corvanne --help | --version\n"
         "\n"
         "Loads the lines of source files into one column of a SQL table, each file\n"
         "between a BEGINS and a DONE marker row. Every setting comes from the\n"
         "configuration file; with UNATTENDED_YES_NO set to YES the run starts at\n"
         "once without a window.\n"
         "\n"
         "Options:\n"
         "  --config FILE  read FILE instead of MyConfig.xml beside the executable;\n"
         "                 its folder then holds TempHeader.txt, and a relative\n"
         "                 SQLite database or folder path is taken from there\n"
         "  --list         print the files a run would load, one a line, in run\n"
         "                 order, and load nothing\n"
         "  --check        read the configuration, select the files and load\n"
         "                 nothing; print a warning or an error for each setting\n"
         "                 a run would not follow as it seems to say, then the\n"
         "                 counts. Exit status 0 nothing found, 1 warnings,\n"
         "                 2 errors\n"
         "  --help         print this text\n"
         "  --version      print the version\n"
         "\n"
         "Exit status of an unattended run: 0 every load succeeded; 1 a load failed\n"
         "or a message was shown; 2 the run could not start or stopped on an error.\n"
         "The warnings of --check are also written to standard error before every\n"
         "unattended run; they do not change its exit status.\n";
}

}  // namespace corvanne
