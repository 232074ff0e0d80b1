// The window's progress display; see progress_widgets.hpp.
#include "ui/progress_widgets.hpp"

#include "ui/message_box.hpp"

namespace corvanne::ui {

void WidgetProgressDisplay::SetBarVisible() {
  if (bar_) bar_->setVisible(true);
}

void WidgetProgressDisplay::SetBarMaximum(int32_t maximum) {
  if (bar_) bar_->setMaximum(maximum);
}

void WidgetProgressDisplay::SetBarValue(int32_t value) {
  if (bar_) bar_->setValue(value);
}

void WidgetProgressDisplay::SetBoxVisible() {
  if (box_) box_->setVisible(true);
}

void WidgetProgressDisplay::SetBoxText(const std::string& text) {
  if (box_) box_->setPlainText(ToDisplayText(text));
}

}  // namespace corvanne::ui
