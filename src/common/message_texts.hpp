// Every fixed text a user can see in a message box, built in one place so
// that tests compare them exactly. Line breaks are CR LF.
#pragma once

#include <cstdint>
#include <string>

#include "common/notifier.hpp"
#include "common/platform.hpp"

namespace corvanne::texts {

inline constexpr const char* kCrLf = "\r\n";

// "Error No. " number CR LF "Description : " description; default title, no icon.
Message StandardError(const PlatformError& error);
// The same about one path: the description reads "\"" path "\": " description,
// so that a box about a file that cannot be read says which one.
Message StandardError(const PlatformError& error, const std::string& path);

// "Unable to read config file... Expected here... " + path.
Message ConfigFileMissing(const std::string& path);

// "Unable to read config file " + path + ": " + cause, e.g. the bytes of a
// UTF-16 file that are no UTF-16.
Message ConfigFileNotText(const std::string& path, const std::string& cause);

// "Error while checking whether file exists.. " + path + "Error No. " + number.
Message FileExistsCheckFailed(const std::string& path, int error_number);

// "An error occurred writing to file... \"" path "\": " cause: the exact text,
// then which file and why, so that a log says what to mend.
Message WriteFailed(const std::string& path, const std::string& cause);

// The two boxes of a failed load: step name + " failed", source, description;
// then "Error for file... " CR LF + path.
Message StepFailed(const std::string& step_name, const std::string& source, const std::string& description);
Message ErrorForFile(const std::string& path);

// The warning of a file loaded with bytes its code page cannot decode, e.g.
// "\"a.bas\" line 825: 2 byte sequences not valid in CP950 were stored as
// U+FFFD, the first at byte offset 29071".
std::string ReplacedBytes(const std::string& path, const std::string& encoding, int64_t replaced, int64_t line,
                          uint64_t offset);

// "Username cannot be left blank... ", title "Invalid input...", critical icon.
Message BlankUserName();

// The window's question after `boxes` failure boxes in one run: go on
// without them (Yes), the later failures then listed at the end of the run.
Message GoOnWithoutBoxes(int boxes);

// "Done...", title "Done.. ", information icon.
Message Done();

// Help found no program to open the manual: says so and where the manual is
// ("...to open the user manual.\r\nIt is here: " + path); information icon.
Message NoProgramForManual(const std::string& path);

}  // namespace corvanne::texts
