// How discovery and the run report their progress: one interface, whatever
// shows it (the terminal line, the window's bar and box, a test recording).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>

namespace corvanne {

// What a run did so far, for the exit status and the closing line.
struct RunCounts {
  int64_t files_listed = 0;       // files in the file list (or 1 in single-file mode)
  int64_t files_loaded = 0;       // files whose own load succeeded
  int64_t files_passed_over = 0;  // empty or unreadable-size files
  int64_t files_failed = 0;       // files with any failed load (their own or a marker row's), each once
  int64_t lines = 0;              // rows of source files loaded (markers not counted)
  int64_t failed_loads = 0;       // failed loads, marker rows included
  int64_t files_unchanged = 0;    // CHANGED: files passed over as loaded already
  int64_t files_deleted = 0;      // REPLACE, CHANGED: files whose rows were taken out (vanished or emptied)
  int64_t folders_listed = 0;     // non-empty items of the folder list (folder mode)
  int64_t folders_missing = 0;    // listed folders that did not exist when the run looked
  int64_t files_replaced = 0;     // loaded files with bytes their code page cannot decode, stored as U+FFFD
  // Loaded files by what they were read as, what the detector guessed (""
  // when not examined) and their folder, e.g. {"WINDOWS-1252", "BIG5", "/src/tw"} -> 12.
  std::map<std::tuple<std::string, std::string, std::string>, int64_t> encodings;
};

// Receives a run's progress, in order, on the thread that runs it. Every
// event is a no-op by default; an implementation that shows it on another
// thread copies what it keeps. Nothing here may throw into the run.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Discovery is about to look into folder `index` (1-based) of `total`,
  // `path` as its list holds it: first each configured folder (recursion on
  // only), then each folder searched for files; each list starts at 1.
  virtual void FolderStarted(int64_t /*index*/, int64_t /*total*/, const std::string& /*path*/) {}
  // The file list is known: `total` files; `single_file` when the run loads
  // the one configured file.
  virtual void FilesListed(int64_t /*total*/, bool /*single_file*/) {}
  // File `index` (1-based) of `total` is about to be handled, passed over or not.
  virtual void FileStarted(int64_t /*index*/, int64_t /*total*/, const std::string& /*path*/) {}
  // The file just started is finished; `so_far` counts every file up to it.
  virtual void FileDone(const RunCounts& /*so_far*/) {}
  // Something about the file just started that the user should know, which
  // fails nothing (bytes stored as U+FFFD): `text` names the file.
  virtual void FileWarning(const std::string& /*text*/) {}
  // The run went through its whole list (not called when it stopped early).
  virtual void RunFinished(const RunCounts& /*counts*/) {}
};

// Shows nothing: listing files without a run, and tests that do not look.
class NoProgress final : public ProgressSink {};

// What a progress report does to the window's two controls.
class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual void SetBarVisible() = 0;
  // May be below the value the bar shows; the bar must accept it.
  virtual void SetBarMaximum(int32_t maximum) = 0;
  virtual void SetBarValue(int32_t value) = 0;
  virtual void SetBoxVisible() = 0;
  virtual void SetBoxText(const std::string& text) = 0;
};

// The reports the window shows, one per item before it is worked on: each
// folder discovery reports, and each file of a folder-mode run (a
// single-file run shows none). Subclasses decide how a report reaches the
// controls.
class ItemReportSink : public ProgressSink {
 public:
  void FolderStarted(int64_t index, int64_t total, const std::string& path) override;
  void FilesListed(int64_t total, bool single_file) override;
  void FileStarted(int64_t index, int64_t total, const std::string& path) override;

 protected:
  // Item `index` of `total` named `item`, both clamped to 32 bits.
  virtual void Report(int32_t index, int32_t total, const std::string& item) = 0;

 private:
  bool single_file_ = false;  // the current run loads one configured file
};

// Shows each report at once on `display`. `batch_code` is read at each
// report (the run settings' batch code); it and `display` must outlive this.
class DisplayProgress : public ItemReportSink {
 public:
  DisplayProgress(ProgressDisplay& display, const std::string& batch_code)
      : display_(display), batch_code_(batch_code) {}

 protected:
  void Report(int32_t index, int32_t total, const std::string& item) override;

 private:
  ProgressDisplay& display_;       // the controls
  const std::string& batch_code_;  // shown in the box
};

// Puts one report on `display` in the order the window shows it: bar
// visible, maximum, value, box visible, box text.
void ShowReport(ProgressDisplay& display, int32_t index, int32_t total, const std::string& box_text);

// The box text: " Batch Code : " B CR LF CR LF index " of " total " : " text.
std::string ProgressBoxText(const std::string& batch_code, int32_t total, int32_t index, const std::string& text);

}  // namespace corvanne
