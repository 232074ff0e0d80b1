// The BEGINS and DONE marker rows loaded around every file.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.hpp"

namespace corvanne {

struct RunContext;

// "<" K ">" V "</" K ">" with K and V each TrimUpper'ed.
std::string MakeTag(const std::string& key, const std::string& value);

// Prefix, the eight tags in order, suffix; date and time read now.
std::string BuildCompletionHeader(const RunSettings& run, const SourceSettings& source,
                                  const DestinationSettings& destination, int32_t serial,
                                  const std::string& status);

// Unless header rows are skipped: writes the row over the header file (never
// read back) and loads the row as built. False when the row could not be
// loaded.
bool LoadCompletionHeader(RunContext& context, SourceSettings& source, int32_t serial,
                          const std::string& status);

}  // namespace corvanne
