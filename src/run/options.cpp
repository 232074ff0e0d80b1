// Command-line options of corvanne. Kept apart from start-up so that the
// parsing can be tried on its own.
#include "run/options.hpp"

#include <string_view>
#include <vector>

namespace corvanne {

namespace {

// The more informative action wins whatever the order on the line.
int Rank(Action action) {
  switch (action) {
    case Action::kHelp: return 5;
    case Action::kVersion: return 4;
    case Action::kInit: return 3;
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
  std::vector<std::string_view> modes;  // --list, --check, --init as given
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Raise(options, Action::kHelp);
    } else if (arg == "--version") {
      Raise(options, Action::kVersion);
    } else if (arg == "--list") {
      Raise(options, Action::kList);
      modes.push_back(arg);
    } else if (arg == "--check") {
      Raise(options, Action::kCheck);
      modes.push_back(arg);
    } else if (arg == "--init") {
      Raise(options, Action::kInit);
      modes.push_back(arg);
      if (i + 1 < argc && argv[i + 1][0] != '-' && argv[i + 1][0] != '\0') options.init_file = argv[++i];
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
  if (modes.size() > 1 && options.action != Action::kHelp && options.action != Action::kVersion) {
    error = "options " + std::string(modes[0]) + " and " + std::string(modes[1]) +
            " cannot be used together; run them one after the other";
    return false;
  }
  return true;
}

std::string UsageText() {
  return "Usage: corvanne [--config FILE] [--list | --check]\n"
         "       corvanne [--config FILE] --init [FILE]\n"
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
         "  --init [FILE]  write a starting configuration for a SQLite database\n"
         "                 (no server needed) to FILE, else to the configuration\n"
         "                 file a run would read; an existing file is left alone\n"
         "  --help         print this text\n"
         "  --version      print the version\n"
         "\n"
         "Exit status of an unattended run: 0 every load succeeded; 1 a load failed,\n"
         "a message was shown, a listed folder does not exist, or folders are listed\n"
         "and no file was selected; 2 the run could not start or stopped on an error.\n"
         "The warnings of --check are also written to standard error before every\n"
         "unattended run; apart from the folder cases above, they do not change its\n"
         "exit status.\n";
}

}  // namespace corvanne
