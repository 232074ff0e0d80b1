// The one-line progress display of a run at a terminal, and the closing line
// of every unattended run.
// Redraws are throttled: a run of many small files must not spend its time printing.
#include "run/terminal_progress.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

namespace corvanne {

namespace {

constexpr double kRedrawInterval = 0.1;  // at most ten redraws a second

// 1234567 as "1,234,567": long counts stay readable at a glance.
std::string Grouped(int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

// "1 file", "2 files": the closing line is read by people.
std::string Counted(int64_t value, const std::string& noun) {
  return Grouped(value) + " " + noun + (value == 1 ? "" : "s");
}

std::string Seconds(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", seconds);
  return buffer;
}

}  // namespace

double SteadySeconds() {
  using std::chrono::duration;
  return duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TerminalProgress::TerminalProgress(std::ostream& out, Notifier& messages, bool is_terminal,
                                   SecondsClock clock)
    : out_(out), messages_(messages), is_terminal_(is_terminal), clock_(std::move(clock)) {
  run_started_ = clock_();
}

std::string TerminalProgress::FormatLine(int64_t index, int64_t total, int64_t lines, double seconds) {
  const auto rate = seconds > 0 ? static_cast<int64_t>(static_cast<double>(lines) / seconds) : 0;
  return "file " + Grouped(index) + " of " + Grouped(total) + ", " + Grouped(lines) + " lines, " +
         Grouped(rate) + " lines/s";
}

std::string TerminalProgress::FormatSummary(const RunCounts& counts, double seconds) {
  return "corvanne: " + FormatCounts(counts, seconds);
}

std::string TerminalProgress::FormatCounts(const RunCounts& counts, double seconds) {
  std::string failed = Grouped(counts.files_failed) + " failed";
  if (counts.failed_loads > 0) failed += " (" + Counted(counts.failed_loads, "failed load") + ")";
  // What the files were read as: "(10 UTF-8, 3 WINDOWS-1252)".
  std::map<std::string, int64_t> read_as;
  for (const auto& [encoding, files] : counts.encodings) {
    if (!std::get<0>(encoding).empty()) read_as[std::get<0>(encoding)] += files;
  }
  std::string encodings;
  for (const auto& [name, files] : read_as) encodings += (encodings.empty() ? " (" : ", ") + Grouped(files) + " " + name;
  // Worth a word only when some file was not plain UTF-8 (nor left as bytes).
  const bool decoded = std::any_of(read_as.begin(), read_as.end(), [](const auto& entry) {
    return entry.first != "UTF-8" && entry.first != "BYTES";
  });
  encodings = decoded ? encodings + ")" : std::string();
  // Re-load counts only where a re-load has them: an APPEND run reads as always.
  std::string reload;
  if (counts.files_unchanged > 0) reload += Grouped(counts.files_unchanged) + " unchanged, ";
  if (counts.files_deleted > 0) reload += Grouped(counts.files_deleted) + " deleted, ";
  if (counts.files_replaced > 0) encodings += ", " + Grouped(counts.files_replaced) + " with bytes stored as U+FFFD";
  return Counted(counts.files_loaded, "file") + " loaded" + encodings + ", " +
         Grouped(counts.files_passed_over) + " passed over, " + reload + failed + ", " + Counted(counts.lines, "line") +
         " in " + Seconds(seconds) + " s";
}

void TerminalProgress::FilesListed(int64_t total, bool /*single_file*/) {
  total_ = total;
  index_ = 0;
  lines_ = 0;
  started_ = clock_();
}

void TerminalProgress::FileStarted(int64_t index, int64_t total, const std::string& /*path*/) {
  index_ = index;
  total_ = total;
  Redraw();
}

void TerminalProgress::FileDone(const RunCounts& so_far) {
  lines_ = so_far.lines;
  Redraw();
}

void TerminalProgress::FileWarning(const std::string& text) {
  ClearLine();
  out_ << "corvanne: warning: " << text << '\n' << std::flush;
}

void TerminalProgress::RunFinished(const RunCounts& counts) {
  ClearLine();
  out_ << FormatSummary(counts, clock_() - run_started_) << '\n' << std::flush;
}

void TerminalProgress::Show(const Message& message) {
  ClearLine();
  messages_.Show(message);
}

void TerminalProgress::ClearLine() {
  if (!is_terminal_ || drawn_width_ == 0) return;
  out_ << '\r' << std::string(drawn_width_, ' ') << '\r' << std::flush;
  drawn_width_ = 0;
  // The next report draws again at once, so the line does not stay away
  // for a whole interval after a message.
  last_draw_ = -1;
}

void TerminalProgress::Redraw() {
  if (!is_terminal_) return;
  const double now = clock_();
  if (last_draw_ >= 0 && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  const std::string line = FormatLine(index_, total_, lines_, now - started_);
  out_ << '\r' << line;
  // A shorter line must wipe the tail of the longer one before it.
  if (line.size() < drawn_width_) out_ << std::string(drawn_width_ - line.size(), ' ');
  out_ << std::flush;
  drawn_width_ = std::max(line.size(), drawn_width_);
}

}  // namespace corvanne
