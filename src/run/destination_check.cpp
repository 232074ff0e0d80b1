// The destination finding of corvanne --check, through the run's own engine.
#include "run/destination_check.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "common/file_utils.hpp"
#include "common/notifier.hpp"
#include "common/platform.hpp"
#include "run/load_engine.hpp"
#include "run/reload.hpp"

namespace corvanne {

void CheckDestination(const AppState& state, Findings& findings) {
  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) return;
  // A setting a run refuses is its own finding, not the destination's.
  if (!RunSettingsProblems(state).empty()) return;
  RecordingNotifier silent;  // Verify shows nothing; the finding says it all
  LoadEngine loads(silent, ApplicationFolder(state));
  const LoadResult verified = loads.Verify(state);
  if (!verified.ok) {
    findings.push_back({Severity::kError, "destination: " + verified.source + ": " + verified.description +
                                              "; a run would not start"});
  } else if (!verified.description.empty()) {
    findings.push_back({Severity::kWarning, "destination: " + verified.description});
  }
  static_cast<void>(loads.Close());
}

void CheckHeaderFile(const AppState& state, Findings& findings) {
  if (state.Run.SkipCompletionHeaders) return;
  const std::string path = ResolveFrom(ApplicationFolder(state), state.Run.HeaderTempFile);
  std::error_code ignored;
  const bool existed = std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found;
  errno = 0;
  std::FILE* file = OpenFile(path, "ab");
  const int failure = file == nullptr ? (errno != 0 ? errno : EIO) : 0;
  if (file != nullptr) std::fclose(file);
  if (file != nullptr && !existed) std::remove(path.c_str());
  if (failure == 0) return;
  findings.push_back({Severity::kWarning, "HEADER_TEMP_TEXT_FILE_NAME: \"" + path + "\" cannot be written: " +
                                              ErrorFromErrno(failure).description +
                                              "; a run shows \"An error occurred writing to file...\" twice per "
                                              "file (the marker rows still load)"});
}

void CheckRunSettings(const AppState& state, Findings& findings) {
  for (const std::string& problem : RunSettingsProblems(state)) {
    findings.push_back({Severity::kError, problem + "; a run would not start"});
  }
}

}  // namespace corvanne
