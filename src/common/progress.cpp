// Which progress events the window shows, and how one report reaches its
// controls; when and on which thread is left to the display's owner.
#include "common/progress.hpp"

#include <limits>

#include "common/message_texts.hpp"

namespace corvanne {

namespace {

// Bar values are 32-bit; a longer list is not a real case, but it must not
// wrap into negative numbers.
int32_t Clamp32(int64_t value) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value > kMax ? kMax : (value < kMin ? kMin : value));
}

}  // namespace

void ItemReportSink::FolderStarted(int64_t index, int64_t total, const std::string& path) {
  Report(Clamp32(index), Clamp32(total), path);
}

void ItemReportSink::FilesListed(int64_t /*total*/, bool single_file) { single_file_ = single_file; }

void ItemReportSink::FileStarted(int64_t index, int64_t total, const std::string& path) {
  if (!single_file_) Report(Clamp32(index), Clamp32(total), path);
}

void DisplayProgress::Report(int32_t index, int32_t total, const std::string& item) {
  ShowReport(display_, index, total, ProgressBoxText(batch_code_, total, index, item));
}

void ShowReport(ProgressDisplay& display, int32_t index, int32_t total, const std::string& box_text) {
  display.SetBarVisible();
  display.SetBarMaximum(total);
  display.SetBarValue(index);
  display.SetBoxVisible();
  display.SetBoxText(box_text);
}

std::string ProgressBoxText(const std::string& batch_code, int32_t total, int32_t index, const std::string& text) {
  return " Batch Code : " + batch_code + texts::kCrLf + texts::kCrLf + std::to_string(index) + " of " +
         std::to_string(total) + " : " + text;
}

}  // namespace corvanne
