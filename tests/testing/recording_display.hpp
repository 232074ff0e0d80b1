// A progress display for tests: records each report the window would show,
// so a test compares the whole sequence (total, index, item) at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/progress.hpp"

namespace corvanne::testing {

// One progress report as the window would show it.
struct ProgressReport {
  int32_t total = 0;  // the bar's maximum
  int32_t index = 0;  // the bar's value
  std::string item;   // the item named in the box

  bool operator==(const ProgressReport&) const = default;
};

// Records every report made through a Progress enabled on it; `on_box_text`
// runs before each report is recorded (lets a test act between reports).
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
    const std::string item =
        at == std::string::npos ? "<bad box text: " + text + ">" : text.substr(at + prefix.size());
    if (on_box_text) on_box_text(item);
    reports.push_back({maximum_, value_, item});
  }

  std::vector<ProgressReport> reports;                  // in the order they were made
  std::function<void(const std::string&)> on_box_text;  // may be empty

 private:
  int32_t maximum_ = 0;  // last maximum set
  int32_t value_ = 0;    // last value set
};

}  // namespace corvanne::testing
