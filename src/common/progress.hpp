// The progress display of a run started from the window: a bar and a
// current-item box. Off by default; unattended runs never switch it on.
#pragma once

#include <cstdint>
#include <string>

namespace corvanne {

// What a progress report can do to the window's two controls.
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

// The process-wide switch and controls of the progress display. Once enabled
// it stays enabled for the rest of the process.
class Progress {
 public:
  // `batch_code` is read at each report (the run settings' batch code); it
  // must outlive this object.
  explicit Progress(const std::string& batch_code) : batch_code_(batch_code) {}

  // Switches the display on and points it at `display` (kept by reference).
  void Enable(ProgressDisplay& display);
  bool ShowProgressEnabled() const { return display_ != nullptr; }

  // Reports item `index` (1-based) of `total` named `text`: bar visible,
  // maximum, value, box visible, box text. Does nothing while disabled.
  void ShowProgress(int32_t total, int32_t index, const std::string& text) const;

  // The box text: " Batch Code : " B CR LF CR LF index " of " total " : " text.
  static std::string BoxText(const std::string& batch_code, int32_t total, int32_t index,
                             const std::string& text);

 private:
  const std::string& batch_code_;
  ProgressDisplay* display_ = nullptr;  // set by Enable, never reset
};

}  // namespace corvanne
