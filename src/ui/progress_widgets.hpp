// The window's side of the progress display: the bar ProgressBar1 and the
// current-file box txtCurrFileName.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>

#include "common/progress.hpp"

namespace corvanne::ui {

// Moves the bar and rewrites the box at once. Call on the widgets' thread
// only (WindowProgress brings a run's reports there). A widget already
// destroyed is left alone.
class WidgetProgressDisplay : public ProgressDisplay {
 public:
  WidgetProgressDisplay(QProgressBar* bar, QPlainTextEdit* box) : bar_(bar), box_(box) {}

  void SetBarVisible() override;
  // A maximum below the bar's value is accepted: the bar resets its value
  // until the next SetBarValue.
  void SetBarMaximum(int32_t maximum) override;
  void SetBarValue(int32_t value) override;
  void SetBoxVisible() override;
  void SetBoxText(const std::string& text) override;

 private:
  QPointer<QProgressBar> bar_;   // the window's ProgressBar1
  QPointer<QPlainTextEdit> box_;  // the window's txtCurrFileName
};

}  // namespace corvanne::ui
