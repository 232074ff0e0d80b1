// The BEGINS and DONE marker rows loaded around every file.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.hpp"

namespace corvanne {

struct RunContext;

// "<" K ">" V "</" K ">" with K and V each TrimUpper'ed.
std::string MakeTag(const std::string& key, const std::string& value);

class FileUnit;

// Prefix, the eight tags in order, suffix; date and time read now.
// `file_name` is the file's stored name.
std::string BuildCompletionHeader(const RunSettings& run, const std::string& file_name, const std::string& user_name,
                                  int32_t serial, const std::string& status);
// The same for `source`'s file, its name decoded with its code page.
std::string BuildCompletionHeader(const RunSettings& run, const SourceSettings& source,
                                  const DestinationSettings& destination, int32_t serial,
                                  const std::string& status);

// Unless header rows are skipped: writes the marker row of the file stored
// as `file_name` over the header file (never read back) and loads the row
// as built into `unit`. False when the row could not be loaded.
bool LoadCompletionHeader(RunContext& context, FileUnit& unit, const std::string& file_name, int32_t serial,
                          const std::string& status);

}  // namespace corvanne
