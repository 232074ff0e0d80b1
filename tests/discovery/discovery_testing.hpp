// Helpers shared by the discovery tests: a progress display that records
// each report, and building a folder tree from a list of paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/progress.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne::testing {

// One progress report as the window would show it.
struct Report {
  int32_t total = 0;  // the bar's maximum
  int32_t index = 0;  // the bar's value
  std::string item;   // the item named in the box

  bool operator==(const Report&) const = default;
};

// Records every report made through a Progress enabled on it.
class RecordingDisplay : public ProgressDisplay {
 public:
  void SetBarVisible() override {}
  void SetBarMaximum(int32_t maximum) override { maximum_ = maximum; }
  void SetBarValue(int32_t value) override { value_ = value; }
  void SetBoxVisible() override {}
  void SetBoxText(const std::string& text) override {
    // The box ends in "<index> of <total> : <item>"; keep the item only.
    const std::string prefix = std::to_string(value_) + " of " + std::to_string(maximum_) + " : ";
    const size_t at = text.find(prefix);
    reports.push_back({maximum_, value_, at == std::string::npos ? "<bad box text: " + text + ">"
                                                                 : text.substr(at + prefix.size())});
  }

  std::vector<Report> reports;  // in the order they were made

 private:
  int32_t maximum_ = 0;  // last maximum set
  int32_t value_ = 0;    // last value set
};

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
