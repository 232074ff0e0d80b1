// The command line: a handful of options, no positional arguments.
// Everything a run does still comes from the configuration file.
#pragma once

#include <string>

namespace corvanne {

inline constexpr const char* kVersionText = "corvanne 0.1.0";

enum class Action {
  kRun,      // read the configuration and run (unattended, or the window)
  kHelp,     // print the usage and stop
  kVersion,  // print the version and stop
  kList,     // print the files a run would load and stop
  kCheck,    // report what a run would not do as configured, and stop
  kInit,     // write a starting configuration file and stop
};

struct Options {
  Action action = Action::kRun;  // --help wins over --version, then --init, --check, --list
  std::string config_file;       // --config FILE as given; empty: the default file
  std::string init_file;         // --init FILE as given; empty: the configuration file a run would read
};

// Reads argv[1..argc-1]. False with `error` set (naming the option) on an
// unknown option, a positional argument, --config without a file name, or
// two of --list, --check and --init together (each does its own thing, and
// silently doing one of them would look like both were done). --init takes
// the next argument as its file unless it begins with "-".
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// The usage text printed by --help (ends with a line end).
std::string UsageText();

}  // namespace corvanne
