// Message boxes of the window and the bridge that lets a run on a worker
// thread show them on the user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "common/notifier.hpp"

namespace corvanne::ui {

// UTF-8 bytes to a QString, CR LF turned into the single line break Qt shows.
QString ToDisplayText(const std::string& text);

// Shows each message as a modal QMessageBox (OK only, plain text, exact text,
// title and icon) over `parent` if set, and returns once it is dismissed.
// Call on the user-interface thread only.
class MessageBoxNotifier : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Show(const Message& message) override;

 private:
  QPointer<QWidget> parent_;  // the boxes' owner window; may be null
};

// Asks `message` as a question with Yes and No buttons (No the default),
// modal over `parent`; true for Yes.
bool AskYesNo(const Message& message, QWidget* parent);

// Runs `fn` on the thread of `context`: at once when already there, else
// queued; with `wait`, returns only after it ran (it must not be the thread
// that `context` lives in that waits on the caller, or both stop).
void RunOnThreadOf(QObject* context, const std::function<void()>& fn, bool wait);

// Forwards every message to `target` on the thread of `context` and waits
// for it, so boxes stay modal and a run pauses until they are dismissed.
class UiThreadNotifier : public Notifier {
 public:
  UiThreadNotifier(QObject* context, Notifier& target) : context_(context), target_(target) {}
  void Show(const Message& message) override;
  void FileFailed(const std::string& path, const std::string& cause) override;

 private:
  QObject* context_;  // lives in the user-interface thread
  Notifier& target_;  // the window's notifier
};

}  // namespace corvanne::ui
