// The pre-flight check: the configuration's keys, its source and its engine,
// each layer adding its findings; the report and its exit status.
#include "run/preflight.hpp"

#include <algorithm>
#include <iterator>
#include <string>

#include "common/text.hpp"
#include "config/config_file.hpp"
#include "config/config_keys.hpp"
#include "discovery/source_check.hpp"
#include "destination/destination.hpp"
#include "run/startup.hpp"

namespace corvanne {

namespace {

const char* Label(Severity severity) { return severity == Severity::kError ? "error: " : "warning: "; }

std::string Counted(size_t count, const char* singular) {
  return std::to_string(count) + " " + singular + (count == 1 ? "" : "s");
}

// The configuration file's own boxes (missing, unreadable) as errors.
void AddReadFailures(const AppState& state, const RecordingNotifier& boxes, Findings& findings) {
  std::transform(
      boxes.messages.begin(), boxes.messages.end(), std::back_inserter(findings), [&state](const Message& box) {
        return Finding{Severity::kError,
                       "configuration file \"" + state.ConfigFilePath + "\": " + ReplaceAll(box.text, "\r\n", " ")};
      });
}

}  // namespace

Findings CheckConfiguration(const AppState& state, const std::vector<CheckStep>& more, bool walk) {
  Findings findings;
  CheckConfigKeys(state.ConfigText, findings);
  if (walk) {
    CheckSource(state.ConfiguredSource, ApplicationFolder(state), findings);
  } else {
    CheckSourceLists(state.ConfiguredSource, ApplicationFolder(state), findings);
  }
  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) {
    findings.push_back(
        {Severity::kError, "DESTINATION_ENGINE \"" + state.Destination.DestinationEngine +
                               "\" is not known; use SQLSERVER, SQLITE, POSTGRESQL or ODBC (a run would not start)"});
  }
  for (const CheckStep& step : more) step(state, findings);
  return findings;
}

int RunCheck(AppState& state, std::ostream& out, const std::vector<CheckStep>& more) {
  RecordingNotifier boxes;
  std::string status;
  ReadConfigFile(state, boxes, status);
  Findings findings;
  AddReadFailures(state, boxes, findings);
  if (findings.empty()) {
    ParseSettings(state);
    findings = CheckConfiguration(state, more);
  }
  size_t errors = 0;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kError) ++errors;
    out << Label(finding.severity) << finding.text << '\n';
  }
  out << Counted(errors, "error") << ", " << Counted(findings.size() - errors, "warning") << " in "
      << state.ConfigFilePath << '\n';
  out.flush();
  const ExitCode code = errors > 0 ? ExitCode::kCouldNotStart : findings.empty() ? ExitCode::kOk : ExitCode::kFailed;
  return static_cast<int>(code);
}

void WriteWarnings(const Findings& findings, std::ostream& out) {
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kWarning) out << "corvanne: warning: " << finding.text << '\n';
  }
}

}  // namespace corvanne
