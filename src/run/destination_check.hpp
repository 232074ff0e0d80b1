// The pre-flight check's look at the destination (can it be opened, does its
// table have the configured columns) and at the code page. Creates and
// loads nothing.
#pragma once

#include "config/app_state.hpp"
#include "config/findings.hpp"

namespace corvanne {

// Appends an error when the destination of `state` cannot be opened, or its
// table or a configured column is missing (the driver's or the database's
// words, never the password), and a warning for what a run would do that
// may not be meant (a table made beside one of a near name, a column added).
// Nothing for an unknown DESTINATION_ENGINE, which the configuration check
// reports already.
void CheckDestination(const AppState& state, Findings& findings);

// Appends a warning when the header file (HEADER_TEMP_TEXT_FILE_NAME, taken
// from the application folder) cannot be written while marker rows are on.
// Opens it for appending and writes nothing; a file that was not there is
// removed again.
void CheckHeaderFile(const AppState& state, Findings& findings);

// Appends an error for each of RunSettingsProblems: a run would not start.
void CheckRunSettings(const AppState& state, Findings& findings);

}  // namespace corvanne
