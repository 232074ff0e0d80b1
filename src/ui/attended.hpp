// The attended run: shows the window frmOptions and runs until it closes.
#pragma once

#include <vector>

#include "common/notifier.hpp"
#include "config/app_state.hpp"

namespace corvanne::ui {

// Creates the Qt application and the window over `state` (already read and
// parsed by start-up), shows `startup_messages` as boxes, then the window, and
// runs until it is closed. Returns the exit status. Without a display, says
// how to run unattended and returns 2.
int StartAttended(int& argc, char** argv, AppState& state, const std::vector<Message>& startup_messages);

}  // namespace corvanne::ui
