// The program's entry: options, configuration, and the choice between an
// unattended run and the window.
#pragma once

#include <functional>
#include <vector>

#include "common/notifier.hpp"
#include "config/app_state.hpp"

namespace corvanne {

enum class ExitCode : int {
  kOk = 0,             // every load succeeded
  kFailed = 1,         // a load failed or an error message was shown
  kCouldNotStart = 2,  // the run could not start or ended on an unexpected error
};

// Shows the window and runs until it is closed; returns the exit status.
// `startup_messages` are the boxes start-up raised before any window existed
// (a missing configuration file, say); the window shows them first, in order.
using AttendedStarter =
    std::function<int(int& argc, char** argv, AppState& state, const std::vector<Message>& startup_messages)>;

// The whole program. `attended` is empty when the window is not built.
int Main(int argc, char** argv, const AttendedStarter& attended);

// The name of the program that holds the window, beside this one: an
// unattended run, --list, --check and --help never load its libraries.
inline constexpr const char* kWindowProgram = "corvanne-window";

// An AttendedStarter that runs the window program (ExecutableFolder() +
// kWindowProgram) in place of this process with `args` (this run's own
// arguments). Where there is no window program, says so as a build without
// the window does.
AttendedStarter WindowProgramStarter(std::vector<std::string> args);

}  // namespace corvanne
