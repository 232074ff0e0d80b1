// The attended run: shows the window frmOptions and runs until it closes.
#pragma once

#include "config/app_state.hpp"

namespace corvanne::ui {

// Creates the Qt application and the window over `state` (already read and
// parsed by start-up), shows it and runs until it is closed. Returns the
// exit status. Without a display, says how to run unattended and returns 2.
int StartAttended(int& argc, char** argv, AppState& state);

}  // namespace corvanne::ui
