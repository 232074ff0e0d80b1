// The one window, frmOptions: shows the configuration, takes the database
// login, starts the export run and shows its progress. The run itself is the
// core's RunExport; this class only drives it.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "ui/layout.hpp"
#include "ui/progress_widgets.hpp"
#include "ui/run_boxes.hpp"
#include "ui/window_progress.hpp"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace corvanne::ui {

// What the window needs from the outside world; tests replace each part.
struct WindowServices {
  Notifier* notifier = nullptr;                             // every box the window and its runs show
  std::function<bool(const std::string&)> open_document;   // opens the user manual; false: no program to open it
  std::string executable_folder;                           // where UserManual.rtf is looked for
  std::function<void()> end_process_now;                   // Quit while a run is going
  std::function<bool(const Message&)> ask;                 // a Yes/No question; empty: a modal box over the window
};

// The production services: modal boxes through `notifier`, the desktop's
// associated program for documents (a missing file: nothing happens, and
// true), the executable's folder, and an immediate process exit.
WindowServices DefaultServices(Notifier& notifier);

// The thirteen controls, named as the window shows them.
struct FormControls {
  QLabel* lblConfig = nullptr;
  QPlainTextEdit* txtConfigFilePath = nullptr;
  QPlainTextEdit* RichTextBox1 = nullptr;
  QLabel* lblDestCaption = nullptr;
  QLabel* lblUserName = nullptr;
  QLineEdit* txtUserName = nullptr;
  QLabel* lblPassword = nullptr;
  QLineEdit* txtPassword = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPlainTextEdit* txtCurrFileName = nullptr;
  QPushButton* cmdHelp = nullptr;
  QPushButton* cmdExport = nullptr;
  QPushButton* cmdQuit = nullptr;

  QWidget* Get(FormControl control) const;  // the widget placed as `control`
};

class FrmOptions : public QWidget {
  Q_OBJECT

 public:
  // Builds the window over the process state `state` (kept by reference) and
  // runs Form_Load. `services.notifier` must outlive the window.
  FrmOptions(AppState& state, WindowServices services, QWidget* parent = nullptr);
  // Waits for a run still going (its boxes and progress are still served
  // meanwhile); the run's end is then not reported ("Done..." is not shown).
  ~FrmOptions() override;

  const FormControls& controls() const { return c_; }
  bool activated() const { return activated_; }  // Form_Activate has run
  bool running() const { return run_thread_ != nullptr; }  // an export run is going

  // The layout rule applied to the window's current outer size.
  void Form_Resize();

 signals:
  void formActivated();  // after the first Form_Activate
  void runFinished();    // after a run's outcome is shown, its boxes editable again and its last box dismissed

 public slots:
  void cmdExport_Click();
  void cmdHelp_Click();
  void cmdQuit_Click();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void PlaceAtDesignSize();
  void SetTabOrder();
  void Form_Load();
  void Form_Activate();
  void ClearFields();
  void FillFields();
  void txtUserName_Validate();
  void txtPassword_Validate();
  void StartRun();
  void RunInBackground();
  void OnRunFinished();
  double TwipsPerPx() const;

  AppState& state_;                 // the process-wide settings; the run reads it
  WindowServices services_;         // notifier, shell call, folders
  FormControls c_;                  // children of this window
  std::unique_ptr<WidgetProgressDisplay> display_;  // the bar and box of the progress display
  std::unique_ptr<WindowProgress> progress_;        // a run's reports, brought to display_
  std::unique_ptr<RunBoxes> run_boxes_;             // the boxes of the run going or last run
  RunCounts run_counts_;            // what the last run did (written by its thread until it ends)
  double run_seconds_ = 0;          // how long the last run took
  QThread* run_thread_ = nullptr;   // the run in progress, if any
  std::string run_error_;           // what stopped the last run early, if anything
  bool activated_ = false;          // Form_Activate runs once, on the first showing
  bool batch_code_used_ = false;    // a run has used state_.Run.BatchCode
  bool closing_ = false;            // the destructor is waiting for the run
};

}  // namespace corvanne::ui
