// The attended run: the Qt application, start-up's boxes, then the window
// until it is closed. Also the screenshot hook (see ArmScreenshot).
#include "ui/attended.hpp"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "config/config_file.hpp"
#include "ui/frm_options.hpp"
#include "ui/message_box.hpp"

namespace corvanne::ui {

namespace {

// Qt aborts when it finds no display; say instead how to run without one.
bool HasDisplay() {
#if defined(__unix__) && !defined(__APPLE__)
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
#else
  return true;
#endif
}

// CORVANNE_SCREENSHOT=<file.png>: for the documentation picture. Presses
// Export once the window is open, answers every box on standard error
// instead of waiting, grabs the window after the run into the file, and
// quits (exit status 1 when the picture cannot be saved).
void ArmScreenshot(FrmOptions& window, const QString& path) {
  QObject::connect(&window, &FrmOptions::formActivated, &window,
                   [&window] { QTimer::singleShot(200, window.controls().cmdExport, &QPushButton::click); });
  QObject::connect(&window, &FrmOptions::runFinished, &window, [&window, path] {
    QTimer::singleShot(200, &window, [&window, path] {
      const bool saved = window.grab().save(path, "PNG");
      if (!saved) std::cerr << "corvanne: cannot save the screenshot to " << path.toStdString() << "\n";
      QCoreApplication::exit(saved ? 0 : 1);
    });
  });
}

}  // namespace

int StartAttended(int& argc, char** argv, AppState& state, const std::vector<Message>& startup_messages) {
  if (!HasDisplay()) {
    StreamNotifier to_stderr(std::cerr);
    for (const Message& message : startup_messages) to_stderr.Show(message);
    std::cerr << "corvanne: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
              << "To run without the window, put <UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO> in "
              << GetConfigFilePath(state) << "\n(and the login in UNATTENDED_RUN_USER_NAME and UNATTENDED_RUN_PASSWORD).\n";
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvanne"));

  const char* screenshot = std::getenv("CORVANNE_SCREENSHOT");
  const bool taking_screenshot = screenshot != nullptr && *screenshot != '\0';
  MessageBoxNotifier boxes;
  StreamNotifier to_stderr(std::cerr);
  Notifier& notifier = *(taking_screenshot ? static_cast<Notifier*>(&to_stderr) : &boxes);

  for (const Message& message : startup_messages) notifier.Show(message);

  FrmOptions window(state, DefaultServices(notifier));
  boxes.SetParent(&window);
  if (taking_screenshot) ArmScreenshot(window, QString::fromLocal8Bit(screenshot));
  window.show();
  return app.exec();
}

}  // namespace corvanne::ui
