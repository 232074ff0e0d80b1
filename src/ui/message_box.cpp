// Modal boxes and the worker-to-window bridge; see message_box.hpp.
// Boxes show plain text: a path with "<" in it must not turn into markup.
#include "ui/message_box.hpp"

#include <QMessageBox>
#include <QThread>

namespace corvanne::ui {

QString ToDisplayText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

void MessageBoxNotifier::Show(const Message& message) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if (message.icon == MessageIcon::kCritical) icon = QMessageBox::Critical;
  if (message.icon == MessageIcon::kInformation) icon = QMessageBox::Information;
  QMessageBox box(icon, ToDisplayText(message.title), ToDisplayText(message.text), QMessageBox::Ok, parent_.data());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool AskYesNo(const Message& message, QWidget* parent) {
  QMessageBox box(QMessageBox::Question, ToDisplayText(message.title), ToDisplayText(message.text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void RunOnThreadOf(QObject* context, const std::function<void()>& fn, bool wait) {
  if (QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(context, fn, wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void UiThreadNotifier::Show(const Message& message) {
  RunOnThreadOf(context_, [this, &message] { target_.Show(message); }, /*wait=*/true);
}

void UiThreadNotifier::FileFailed(const std::string& path, const std::string& cause) {
  RunOnThreadOf(context_, [this, &path, &cause] { target_.FileFailed(path, cause); }, /*wait=*/true);
}

}  // namespace corvanne::ui
