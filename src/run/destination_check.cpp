// The destination finding of corvanne --check, through the run's own engine.
#include "run/destination_check.hpp"

#include "common/notifier.hpp"
#include "run/load_engine.hpp"
#include "run/reload.hpp"

namespace corvanne {

void CheckDestination(const AppState& state, Findings& findings) {
  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) return;
  // Settings that cannot run are their own findings, not the destination's.
  if (!RunSettingsProblems(state).empty()) return;
  RecordingNotifier silent;  // Verify shows nothing; the finding says it all
  LoadEngine loads(silent, ApplicationFolder(state));
  const LoadResult verified = loads.Verify(state);
  if (!verified.ok) {
    findings.push_back({Severity::kError, "destination: " + verified.source + ": " + verified.description +
                                              "; a run would not start"});
  }
  static_cast<void>(loads.Close());
}

void CheckRunSettings(const AppState& state, Findings& findings) {
  for (const std::string& problem : RunSettingsProblems(state)) {
    findings.push_back({Severity::kError, problem + "; a run would not start"});
  }
}

}  // namespace corvanne
