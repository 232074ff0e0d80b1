// Progress reports of a run started from the window; without a display
// (unattended runs) every report is a no-op.
#include "common/progress.hpp"

#include "common/message_texts.hpp"

namespace corvanne {

void Progress::Enable(ProgressDisplay& display) { display_ = &display; }

void Progress::ShowProgress(int32_t total, int32_t index, const std::string& text) const {
  if (display_ == nullptr) return;
  display_->SetBarVisible();
  display_->SetBarMaximum(total);
  display_->SetBarValue(index);
  display_->SetBoxVisible();
  display_->SetBoxText(BoxText(batch_code_, total, index, text));
}

std::string Progress::BoxText(const std::string& batch_code, int32_t total, int32_t index,
                              const std::string& text) {
  return " Batch Code : " + batch_code + texts::kCrLf + texts::kCrLf + std::to_string(index) + " of " +
         std::to_string(total) + " : " + text;
}

}  // namespace corvanne
