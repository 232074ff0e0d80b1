// Messages for runs without a window: written to a stream, never waiting.
// The window shows its own modal boxes; tests record.
#include "common/notifier.hpp"

#include "common/text.hpp"

namespace corvanne {

StreamNotifier::StreamNotifier(std::ostream& out) : out_(out) {}

void StreamNotifier::Show(const Message& message) {
  out_ << message.title << '\n' << ReplaceAll(message.text, "\r\n", "\n") << '\n';
  out_.flush();
  ++shown_;
}

}  // namespace corvanne
