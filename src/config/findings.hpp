// What the pre-flight check reports: one finding per thing a run would do
// that its user may not expect. Each layer appends its own; the caller prints.
#pragma once

#include <string>
#include <vector>

namespace corvanne {

enum class Severity {
  kWarning,  // a run would go through, but may not do what was meant
  kError,    // a run would not start, would stop, or a load would fail
};

// One line of the check's report.
struct Finding {
  Severity severity = Severity::kWarning;
  std::string text;  // names the key, folder or file concerned; no "warning:" prefix

  bool operator==(const Finding&) const = default;
};

using Findings = std::vector<Finding>;

}  // namespace corvanne
