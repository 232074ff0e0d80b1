// Messages for runs without a window: written to a stream, never waiting.
// The window shows its own modal boxes; tests record.
#include "common/notifier.hpp"

#include <string_view>

namespace corvanne {

StreamNotifier::StreamNotifier(std::ostream& out) : out_(out) {}

std::string OneLine(const Message& message) {
  std::string line;
  if (message.title != kApplicationTitle && !message.title.empty()) line = message.title + ": ";
  std::string_view rest = message.text;
  bool first = true;
  while (true) {
    const size_t end = rest.find_first_of("\r\n");
    const std::string_view part = rest.substr(0, end);
    if (!part.empty()) {
      if (!first) line += line.ends_with(' ') ? "" : ": ";
      line += part;
      first = false;
    }
    if (end == std::string_view::npos) break;
    // CR LF is one break; a lone CR or LF is one too.
    rest.remove_prefix(end + (rest.substr(end, 2) == "\r\n" ? 2 : 1));
  }
  return line;
}

void StreamNotifier::Show(const Message& message) {
  out_ << "corvanne: " << OneLine(message) << '\n';
  out_.flush();
  ++shown_;
}

}  // namespace corvanne
