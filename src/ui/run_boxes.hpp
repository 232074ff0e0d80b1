// The boxes of one run in the window, and what the window shows when the run
// is over: counts, the code-page hint and the failed files, in one text.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/notifier.hpp"
#include "common/progress.hpp"

namespace corvanne::ui {

// Passes a run's boxes on to `target` until the third; then asks once
// whether to go on without them. After a Yes, later boxes are not shown: a
// failed load is kept only in failures(), any other box as its one line.
// Every failed file is kept in failures() either way. On the window's thread.
class RunBoxes : public Notifier {
 public:
  static constexpr int kBoxesBeforeAsking = 3;

  // `ask` shows a Yes/No question and returns true for Yes; `target` and
  // `ask` must outlive this object.
  RunBoxes(Notifier& target, std::function<bool(const Message&)> ask);

  // Starts a new run: nothing shown, nothing asked, no failure kept.
  void Start();

  void Show(const Message& message) override;
  void FileFailed(const std::string& path, const std::string& cause) override;

  // "path: cause" per failed load, and each box held back that was not one.
  const std::vector<std::string>& failures() const { return failures_; }
  bool quiet() const { return quiet_; }  // boxes are held back

 private:
  Notifier& target_;
  std::function<bool(const Message&)> ask_;
  int shown_ = 0;       // boxes shown in this run
  bool asked_ = false;  // the question was asked in this run
  bool quiet_ = false;  // the user chose to go on without boxes
  int pair_left_ = 0;   // boxes still to come of the failed load just reported
  std::vector<std::string> failures_;
};

// The window's text at the end of a run: `last_report` (the progress box's
// last text; empty when it showed none: the batch code line then), an empty
// line, the closing line's counts, the code-page hint when there is one, and
// "Failed files:" with one line each when there are any.
std::string RunOutcomeText(const std::string& last_report, const std::string& batch_code, const RunCounts& counts,
                           double seconds, const std::vector<std::string>& failures);

}  // namespace corvanne::ui
