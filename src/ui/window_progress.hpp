// The window's progress sink: a run on its worker thread reports every
// folder and file; the bar and box show the latest of them, a few times a second.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <mutex>
#include <optional>
#include <string>

#include "common/progress.hpp"

class QTimer;

namespace corvanne::ui {

// Coalesces reports: whatever thread reports, the display is updated on this
// object's thread at most once per kIntervalMs, with the latest report (the
// ones in between are never shown, except the first item of each list, so
// the bar visibly starts again with each list and each run); a wake-up is
// queued to that thread only
// when none is waiting, however many files the run has. A report never
// waits for the display. Flush() shows a waiting report at once: the final
// state of a run is always shown.
class WindowProgress : public QObject, public ItemReportSink {
  Q_OBJECT

 public:
  static constexpr int kIntervalMs = 50;  // at most twenty updates a second

  // `display` is used on this object's thread only; `batch_code` is read on
  // the reporting thread at each report (it must not change during a run).
  // Both must outlive this object, and every reporting thread must have
  // stopped before it is destroyed.
  WindowProgress(ProgressDisplay& display, const std::string& batch_code, QObject* parent = nullptr);

  // Shows the waiting report, if any, now. Call on this object's thread.
  void Flush();

  int updates() const { return updates_; }  // times the display was changed (repaints asked for)

 protected:
  // Any thread: keeps the report as the latest and wakes this object's thread.
  void Report(int32_t index, int32_t total, const std::string& item) override;

 private slots:
  // This object's thread: shows the waiting report now, or when the interval
  // since the last update has passed.
  void OnWakeUp();

 private:
  // One report as the display will show it.
  struct Pending {
    int32_t index = 0;     // the bar's value
    int32_t total = 0;     // the bar's maximum
    std::string box_text;  // the box's text
  };

  ProgressDisplay& display_;       // the bar and box
  const std::string& batch_code_;  // shown in the box
  QTimer* timer_;                  // child: the deferred update within an interval
  QElapsedTimer since_update_;     // invalid until the first update
  int updates_ = 0;                // updates shown (this object's thread only)
  std::mutex mutex_;                   // guards the three fields below
  std::optional<Pending> list_start_;  // a list's first item, not shown yet
  std::optional<Pending> latest_;      // the latest report after it, not shown yet
  bool awake_ = false;                 // a wake-up is queued or the timer runs
};

}  // namespace corvanne::ui
