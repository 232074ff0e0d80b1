// The process-wide state of a Corvanne process: where the configuration
// comes from, its text, and the settings records parsed from it.
#pragma once

#include <string>

#include "config/settings.hpp"

namespace corvanne {

struct AppState {
  std::string ConfigFilePath;         // the MyConfig.xml in use; its folder is the application folder
  std::string ConfigText;             // whole text of the configuration file as last read
  DestinationSettings Destination;    // destination and login; Export overwrites the login
  SourceSettings ConfiguredSource;    // the source as configured
  SourceSettings PackageSource;       // the source of the next load, overwritten before every load
  RunSettings Run;                    // run behaviour and batch code
};

// The one instance of the process. Starts with ConfigFilePath set to
// DefaultConfigFilePath() and everything else empty.
AppState& ProcessState();

// ExecutableFolder() + separator + "MyConfig.xml".
std::string DefaultConfigFilePath();

// The folder of `state.ConfigFilePath` (the text before its last separator).
std::string ApplicationFolder(const AppState& state);

// Fills Destination, PackageSource, ConfiguredSource and Run from
// ConfigText, in that order; makes a new batch code.
void ParseSettings(AppState& state);

}  // namespace corvanne
