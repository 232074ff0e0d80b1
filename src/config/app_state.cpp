// The one process-wide state, the default configuration path and the fill
// of the settings records from the configuration text.
#include "config/app_state.hpp"

#include "common/platform.hpp"

namespace corvanne {

AppState& ProcessState() {
  static AppState state{DefaultConfigFilePath(), {}, {}, {}, {}, {}};
  return state;
}

std::string DefaultConfigFilePath() {
  // The folder text is used as the platform reports it; no separator is
  // added or removed beyond the one that opens the file name.
  return ExecutableFolder() + kPathSeparator + "MyConfig.xml";
}

std::string ApplicationFolder(const AppState& state) {
  const std::string& path = state.ConfigFilePath;
#ifdef _WIN32
  const size_t cut = path.find_last_of("\\/");
#else
  const size_t cut = path.find_last_of(kPathSeparator);
#endif
  // A bare file name lives in the current folder.
  if (cut == std::string::npos) return ".";
  return path.substr(0, cut);
}

void ParseSettings(AppState& state) {
  ReadDestinationSettings(state.Destination, state.ConfigText);
  ReadSourceSettings(state.PackageSource, state.ConfigText);
  ReadSourceSettings(state.ConfiguredSource, state.ConfigText);
  ReadRunSettings(state.Run, state.ConfigText, ApplicationFolder(state));
}

}  // namespace corvanne
