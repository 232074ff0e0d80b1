// A run's boxes and its outcome in the window; see run_boxes.hpp. A run in
// the wrong code page fails every file: a box pair for each would keep its
// user clicking for an hour, so the window offers to list them instead.
#include "ui/run_boxes.hpp"

#include <utility>

#include "common/message_texts.hpp"
#include "source/code_page_hint.hpp"
#include "run/terminal_progress.hpp"

namespace corvanne::ui {

RunBoxes::RunBoxes(Notifier& target, std::function<bool(const Message&)> ask)
    : target_(target), ask_(std::move(ask)) {}

void RunBoxes::Start() {
  shown_ = 0;
  asked_ = false;
  quiet_ = false;
  pair_left_ = 0;
  failures_.clear();
}

void RunBoxes::FileFailed(const std::string& path, const std::string& cause) {
  failures_.push_back(path + ": " + cause);
  pair_left_ = 2;  // its two boxes come next
}

void RunBoxes::Show(const Message& message) {
  const bool of_failed_load = pair_left_ > 0;
  if (of_failed_load) --pair_left_;
  if (quiet_) {
    if (!of_failed_load) failures_.push_back(OneLine(message));
    return;
  }
  target_.Show(message);
  if (++shown_ == kBoxesBeforeAsking && !asked_ && ask_) {
    asked_ = true;
    quiet_ = ask_(texts::GoOnWithoutBoxes(kBoxesBeforeAsking));
  }
}

std::string RunOutcomeText(const std::string& last_report, const std::string& batch_code, const RunCounts& counts,
                           double seconds, const std::vector<std::string>& failures) {
  std::string text = (last_report.empty() ? " Batch Code : " + batch_code : last_report) + "\n\n" +
                     TerminalProgress::FormatCounts(counts, seconds);
  if (const std::string hint = CodePageHintLine(counts); !hint.empty()) text += "\n" + hint;
  if (!failures.empty()) {
    text += "\n\nFailed files:";
    for (const std::string& failure : failures) text += "\n" + failure;
  }
  return text;
}

}  // namespace corvanne::ui
