// The program's entry: options, configuration, and the choice between an
// unattended run and the window.
#pragma once

#include <functional>

#include "common/notifier.hpp"
#include "config/app_state.hpp"

namespace corvanne {

enum class ExitCode : int {
  kOk = 0,             // every load succeeded
  kFailed = 1,         // a load failed or an error message was shown
  kCouldNotStart = 2,  // the run could not start or ended on an unexpected error
};

// Shows the window and runs until it is closed; returns the exit status.
using AttendedStarter = std::function<int(int& argc, char** argv, AppState& state)>;

// The whole program. `attended` is empty when the window is not built.
int Main(int argc, char** argv, const AttendedStarter& attended);

}  // namespace corvanne
