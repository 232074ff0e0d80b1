// The window's progress display; see progress_widgets.hpp. Each call copies
// its values before it is queued: the caller's strings may be gone by then.
// A queued call whose widget is destroyed first is dropped by Qt.
#include "ui/progress_widgets.hpp"

#include "ui/message_box.hpp"

namespace corvanne::ui {

void WidgetProgressDisplay::SetBarVisible() {
  if (QProgressBar* bar = bar_.data()) RunOnThreadOf(bar, [bar] { bar->setVisible(true); }, false);
}

void WidgetProgressDisplay::SetBarMaximum(int32_t maximum) {
  if (QProgressBar* bar = bar_.data()) RunOnThreadOf(bar, [bar, maximum] { bar->setMaximum(maximum); }, false);
}

void WidgetProgressDisplay::SetBarValue(int32_t value) {
  if (QProgressBar* bar = bar_.data()) RunOnThreadOf(bar, [bar, value] { bar->setValue(value); }, false);
}

void WidgetProgressDisplay::SetBoxVisible() {
  if (QPlainTextEdit* box = box_.data()) RunOnThreadOf(box, [box] { box->setVisible(true); }, false);
}

void WidgetProgressDisplay::SetBoxText(const std::string& text) {
  const QString shown = ToDisplayText(text);
  if (QPlainTextEdit* box = box_.data()) RunOnThreadOf(box, [box, shown] { box->setPlainText(shown); }, false);
}

}  // namespace corvanne::ui
