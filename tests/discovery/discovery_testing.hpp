// Helpers shared by the discovery tests: building a folder tree from a
// list of paths, and the recording progress display under a short name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/recording_display.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne::testing {

using Report = ProgressReport;

// Creates, under `dir`, each path of `entries`: a name ending in "/" is a
// folder, anything else a file holding "x". Returns nothing; fails loudly.
inline void MakeTree(const TempDir& dir, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!entry.empty() && entry.back() == '/') {
      dir.MakeDir(entry);
    } else {
      dir.Write(entry, "x");
    }
  }
}

}  // namespace corvanne::testing
