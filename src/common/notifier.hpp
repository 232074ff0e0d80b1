// Message boxes, whatever shows them: the window (modal Qt boxes), an
// unattended run (standard error) or a test (a recording).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace corvanne {

inline constexpr const char* kApplicationTitle = "Corvanne";

enum class MessageIcon { kNone, kCritical, kInformation };

// One message box: its text (line breaks are CR LF, as the boxes show them),
// its title and its icon. Every box has an OK button only.
struct Message {
  std::string text;
  std::string title = kApplicationTitle;
  MessageIcon icon = MessageIcon::kNone;

  bool operator==(const Message&) const = default;
};

// Shows a message and returns when the user has dismissed it (an unattended
// run does not wait).
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void Show(const Message& message) = 0;
  // A load of `path` failed for `cause` (source and description); its two
  // boxes follow at once through Show. For a list of the run's failures;
  // nothing by default.
  virtual void FileFailed(const std::string& /*path*/, const std::string& /*cause*/) {}
};

// Writes each message to a stream (standard error by default) as one line,
// so that a log keeps one message a line: "corvanne: " OneLine(message).
// Never waits. Counts what it has shown, for the exit status.
class StreamNotifier : public Notifier {
 public:
  explicit StreamNotifier(std::ostream& out);
  void Show(const Message& message) override;
  int shown() const { return shown_; }  // messages shown so far

 private:
  std::ostream& out_;
  int shown_ = 0;
};

// The message on one line: the title and ": " unless it is the program's own
// (the "corvanne:" prefix names it already), then the text with each line
// break joined as ": " (a blank alone after a line ending in a blank); empty
// lines are left out. E.g. "Error for file... " CR LF "/src/a.bas" reads
// "Error for file... /src/a.bas".
std::string OneLine(const Message& message);

// Keeps every message, in order, for tests.
class RecordingNotifier : public Notifier {
 public:
  void Show(const Message& message) override { messages.push_back(message); }
  std::vector<Message> messages;
};

}  // namespace corvanne
