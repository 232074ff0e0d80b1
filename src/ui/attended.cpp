// The attended run: the Qt application, start-up's boxes, then the window
// until it is closed.
#include "ui/attended.hpp"

#include <QApplication>
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

  MessageBoxNotifier boxes;
  for (const Message& message : startup_messages) boxes.Show(message);

  FrmOptions window(state, DefaultServices(boxes));
  boxes.SetParent(&window);
  window.show();
  return app.exec();
}

}  // namespace corvanne::ui
