// Progress reports of a window run, coalesced: a run over 100,000 small files
// would otherwise queue one update per file and keep the window busy
// painting what nobody can read.
#include "ui/window_progress.hpp"

#include <QTimer>
#include <utility>

namespace corvanne::ui {

WindowProgress::WindowProgress(ProgressDisplay& display, const std::string& batch_code, QObject* parent)
    : QObject(parent), display_(display), batch_code_(batch_code), timer_(new QTimer(this)) {
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &WindowProgress::Flush);
}

void WindowProgress::Report(int32_t index, int32_t total, const std::string& item) {
  Pending next{index, total, ProgressBoxText(batch_code_, total, index, item)};
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (next.index == 1) {
      list_start_ = std::move(next);
      latest_.reset();
    } else {
      latest_ = std::move(next);
    }
    if (awake_) return;  // the queued wake-up or the timer will show it
    awake_ = true;
  }
  // By name: the call hands Qt nothing to own, at most twenty times a second.
  QMetaObject::invokeMethod(this, "OnWakeUp", Qt::QueuedConnection);
}

void WindowProgress::OnWakeUp() {
  if (since_update_.isValid() && since_update_.elapsed() < kIntervalMs) {
    timer_->start(static_cast<int>(kIntervalMs - since_update_.elapsed()));
    return;
  }
  Flush();
}

void WindowProgress::Flush() {
  std::optional<Pending> start;
  std::optional<Pending> latest;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    start.swap(list_start_);
    latest.swap(latest_);
    awake_ = false;
  }
  timer_->stop();
  if (!start && !latest) return;
  // Both within one update: the widgets repaint once, showing the latest.
  for (const std::optional<Pending>* report : {&start, &latest}) {
    if (*report) ShowReport(display_, (*report)->index, (*report)->total, (*report)->box_text);
  }
  ++updates_;
  since_update_.restart();
}

}  // namespace corvanne::ui
