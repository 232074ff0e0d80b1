// The pre-flight check's look at the destination (can it be opened, does its
// table have the configured columns) and at the code page. Creates and
// loads nothing.
#pragma once

#include "config/app_state.hpp"
#include "config/findings.hpp"

namespace corvanne {

// Appends an error when the destination of `state` cannot be opened, or its
// table or a configured column is missing (the driver's or the database's
// words, never the password). Nothing for an unknown DESTINATION_ENGINE,
// which the configuration check reports already.
void CheckDestination(const AppState& state, Findings& findings);

// Appends an error when SOURCE_FILE_CODE_PAGE names no code page this
// system knows: a run would not start.
void CheckCodePage(const AppState& state, Findings& findings);

// Appends an error when DESTINATION_LOAD_MODE and the keys that go with it
// cannot make a run: a run would not start.
void CheckLoadModeSettings(const AppState& state, Findings& findings);

}  // namespace corvanne
