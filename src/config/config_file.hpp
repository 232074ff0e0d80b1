// Finds, tests and reads the configuration file, and picks values out of
// its text by tag search (plain text search, not XML parsing).
#pragma once

#include <string>
#include <string_view>

#include "common/notifier.hpp"
#include "config/app_state.hpp"

namespace corvanne {

inline constexpr const char* kStatusFailed = "FAILED";

// The full path of the configuration file in use.
std::string GetConfigFilePath(const AppState& state);

// True if a file (not a folder) exists at `path`. When the test itself fails
// (other than "not there"), shows "Error while checking whether file
// exists.. " + path + "Error No. " + number and returns false.
bool CheckFileExists(const std::string& path, Notifier& notifier);

// The whole content of the file, bytes unchanged; "" on failure, with the
// standard error box (an empty file gives "" silently).
std::string ReadWholeFile(const std::string& path, Notifier& notifier);

// Fills state.ConfigText from the configuration file, decoded to UTF-8: a
// byte-order mark decides (UTF-8, UTF-16 LE/BE), else valid UTF-8, else
// Windows-1252. Bytes that are not valid under a mark show "Unable to read
// config file " + path + ": " + the cause and leave ConfigText empty, as an
// unreadable file does. When the file is not there, shows "Unable to read config file... Expected here... " + path,
// sets `status` to "FAILED" and keeps ConfigText.
void ReadConfigFile(AppState& state, Notifier& notifier, std::string& status);

// The text between the first "<key>" and the first "</key>" of `text`
// (case-sensitive, nothing trimmed); "" when either is missing or the closing
// tag stands before the end of the opening one.
std::string GetTagValue(std::string_view text, std::string_view key);

}  // namespace corvanne
