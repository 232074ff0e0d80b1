// What an unattended run shows on standard error: at a terminal one progress
// line redrawn in place with messages above it; always a closing line.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "common/notifier.hpp"
#include "common/progress.hpp"

namespace corvanne {

// Seconds on a steady clock; injectable so tests control time.
using SecondsClock = std::function<double()>;

// The steady clock of the process, in seconds.
double SteadySeconds();

// Shows a run's progress on `out` and passes its messages on to `messages`.
// When `is_terminal` it redraws one line with "\r" (at most ten times a
// second) and clears it before every message; otherwise it draws no line, so
// logs of scheduled runs stay clean. Either way it ends a finished run with
// one closing line (FormatSummary), which such logs keep.
class TerminalProgress : public ProgressSink, public Notifier {
 public:
  TerminalProgress(std::ostream& out, Notifier& messages, bool is_terminal,
                   SecondsClock clock = SteadySeconds);

  void FilesListed(int64_t total, bool single_file) override;
  void FileStarted(int64_t index, int64_t total, const std::string& path) override;
  void FileDone(const RunCounts& so_far) override;
  // "corvanne: warning: " + text, on a line of its own.
  void FileWarning(const std::string& text) override;
  void RunFinished(const RunCounts& counts) override;

  // Clears the progress line, then shows the message; the line comes back at
  // the next redraw.
  void Show(const Message& message) override;

  // Removes the progress line if one is drawn (before an error is printed).
  void ClearLine();

  // The progress line, e.g. "file 3 of 12, 4,096 lines, 2,048 lines/s".
  static std::string FormatLine(int64_t index, int64_t total, int64_t lines, double seconds);
  // The closing line (no line end), e.g. "corvanne: 13 files loaded, 1 passed
  // over, 0 failed, 791 lines in 0.0 s"; failed loads follow the failed files
  // in brackets when there are any.
  static std::string FormatSummary(const RunCounts& counts, double seconds);
  // The same without "corvanne: ", e.g. for the window.
  static std::string FormatCounts(const RunCounts& counts, double seconds);

 private:
  void Redraw();

  std::ostream& out_;
  Notifier& messages_;
  bool is_terminal_;
  SecondsClock clock_;
  double run_started_ = 0;     // clock reading when this display was made (the run's start)
  double started_ = 0;         // clock reading when the file list was known
  double last_draw_ = -1;      // clock reading of the last redraw; < 0: none yet
  std::size_t drawn_width_ = 0;  // characters of the line on screen; 0: none
  int64_t index_ = 0;          // file being loaded (1-based)
  int64_t total_ = 0;          // files in the list
  int64_t lines_ = 0;          // source lines loaded so far
};

}  // namespace corvanne
