// corvanne_screenshot CONFIG PNG: the documentation picture of the window,
// taken from outside the product. Builds the window over CONFIG as the
// program does, presses Export once it is open, writes every box to standard
// error instead of waiting for it, grabs the window after the run into PNG
// and quits (status 1 when the picture cannot be saved). Built with the tests
// only; scripts/screenshot runs it.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "ui/frm_options.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: corvanne_screenshot CONFIG PNG\n";
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvanne"));
  corvanne::AppState& state = corvanne::ProcessState();
  state.ConfigFilePath = std::filesystem::absolute(argv[1]).lexically_normal().string();
  const QString path = QString::fromLocal8Bit(argv[2]);

  corvanne::StreamNotifier to_stderr(std::cerr);
  corvanne::ui::WindowServices services = corvanne::ui::DefaultServices(to_stderr);
  services.ask = [](const corvanne::Message&) { return false; };  // keep every box (on standard error)
  corvanne::ui::FrmOptions window(state, services);
  QObject::connect(&window, &corvanne::ui::FrmOptions::formActivated, &window,
                   [&window] { QTimer::singleShot(200, window.controls().cmdExport, &QPushButton::click); });
  QObject::connect(&window, &corvanne::ui::FrmOptions::runFinished, &window, [&window, path] {
    QTimer::singleShot(200, &window, [&window, path] {
      const bool saved = window.grab().save(path, "PNG");
      if (!saved) std::cerr << "corvanne_screenshot: cannot save the picture to " << path.toStdString() << "\n";
      QCoreApplication::exit(saved ? 0 : 1);
    });
  });
  window.show();
  return QApplication::exec();
}
