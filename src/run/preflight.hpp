// The pre-flight check: what a run of this configuration would do that its
// user may not expect, found without loading anything.
#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "config/app_state.hpp"
#include "config/findings.hpp"

namespace corvanne {

// One more look at a parsed configuration, appending what it finds (the
// destination's own checks plug in here).
using CheckStep = std::function<void(const AppState& state, Findings& findings)>;

// The findings about `state` (its ConfigText parsed into its records), in
// order: the keys of the configuration text, the configured source and the
// files it selects, the DESTINATION_ENGINE value, then each of `more`.
// Reads folders; loads nothing and shows no message.
// With `walk` false the source's lists are checked but its folders are not
// walked: a run that walks anyway checks its own walk (CheckWalkedSource).
Findings CheckConfiguration(const AppState& state, const std::vector<CheckStep>& more = {}, bool walk = true);

// corvanne --check: reads and parses the configuration file of `state`,
// writes one line per finding to `out` ("warning: ..." or "error: ..."),
// then a line with the counts. A configuration file that cannot be read is
// an error. Returns 0 (nothing found), 1 (warnings only) or 2 (an error).
int RunCheck(AppState& state, std::ostream& out, const std::vector<CheckStep>& more = {});

// Writes each warning of `findings` as "corvanne: warning: ..." to `out`
// (before an unattended run, whose own messages report the errors).
void WriteWarnings(const Findings& findings, std::ostream& out);

}  // namespace corvanne
