// What frmOptions does: opening, the login check, the export run on a worker
// thread with progress and boxes served here, Help and Quit.
#include "ui/frm_options.hpp"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <algorithm>
#include <exception>

#include "common/message_texts.hpp"
#include "config/config_file.hpp"
#include "run/load_engine.hpp"
#include "run/export.hpp"
#include "ui/message_box.hpp"

namespace corvanne::ui {

namespace {

// Blanks (U+0020 only) off both ends, then every apostrophe out: the login
// is used as typed otherwise.
QString CleanLoginText(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  QString out = text.mid(begin, end - begin);
  out.remove(u'\'');
  return out;
}

void CleanBox(QLineEdit* box) {
  const QString cleaned = CleanLoginText(box->text());
  if (cleaned != box->text()) box->setText(cleaned);
}

}  // namespace

FrmOptions::FrmOptions(AppState& state, WindowServices services, QWidget* parent)
    : QWidget(parent), state_(state), services_(std::move(services)), progress_(state.Run.BatchCode) {
  BuildControls();
  SetTabOrder();
  PlaceAtDesignSize();
  display_ = std::make_unique<WidgetProgressDisplay>(c_.ProgressBar1, c_.txtCurrFileName);

  connect(c_.cmdExport, &QPushButton::clicked, this, &FrmOptions::cmdExport_Click);
  connect(c_.cmdHelp, &QPushButton::clicked, this, &FrmOptions::cmdHelp_Click);
  connect(c_.cmdQuit, &QPushButton::clicked, this, &FrmOptions::cmdQuit_Click);
  // Quit is the window's cancel button: Esc presses it (Enter stays harmless
  // in the login boxes).
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, c_.cmdQuit, [this] { c_.cmdQuit->animateClick(); });
  c_.txtUserName->installEventFilter(this);
  c_.txtPassword->installEventFilter(this);

  Form_Load();
}

FrmOptions::~FrmOptions() {
  if (run_thread_ == nullptr) return;
  // The run may be waiting on a box served by this thread: keep serving.
  while (!run_thread_->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
  delete run_thread_;
}

void FrmOptions::Form_Load() {
  Form_Resize();
  ClearFields();
}

void FrmOptions::ClearFields() {
  c_.txtConfigFilePath->setPlainText(QString());
  c_.RichTextBox1->setPlainText(QString());
  c_.txtUserName->setText(QString());
  c_.txtPassword->setText(QString());
  c_.txtCurrFileName->setPlainText(QString());
  c_.ProgressBar1->setVisible(false);
}

void FrmOptions::Form_Activate() {
  if (activated_) return;
  activated_ = true;
  c_.txtUserName->setFocus(Qt::ActiveWindowFocusReason);
  std::string status;
  ReadConfigFile(state_, *services_.notifier, status);
  if (status != kStatusFailed) {
    ParseSettings(state_);
    FillFields();
  }
  emit formActivated();
}

void FrmOptions::FillFields() {
  c_.txtConfigFilePath->setPlainText(QString::fromStdString(GetConfigFilePath(state_)));
  // The text just read is the file's text; showing it spares a second read
  // that could fail where the first one did not.
  c_.RichTextBox1->setPlainText(ToDisplayText(state_.ConfigText));
  c_.txtUserName->setText(QString::fromStdString(state_.Destination.UserName));
  c_.txtPassword->setText(QString::fromStdString(state_.Destination.Password));
}

void FrmOptions::cmdExport_Click() {
  if (running()) return;
  CleanBox(c_.txtUserName);
  // Blanks that stood between apostrophes survive the cleaning; a name made
  // of nothing else is still blank, and logging in as " " helps nobody.
  const QString name = c_.txtUserName->text();
  if (std::all_of(name.begin(), name.end(), [](QChar ch) { return ch == u' '; })) {
    c_.txtUserName->clear();
    services_.notifier->Show(texts::BlankUserName());
    return;
  }
  CleanBox(c_.txtPassword);
  state_.Destination.UserName = c_.txtUserName->text().toStdString();
  state_.Destination.Password = c_.txtPassword->text().toStdString();

  std::string status;
  ReadConfigFile(state_, *services_.notifier, status);
  if (status == kStatusFailed) return;

  c_.txtUserName->setReadOnly(true);
  c_.txtPassword->setReadOnly(true);
  progress_.Enable(*display_);
  StartRun();
}

void FrmOptions::StartRun() {
  run_error_.clear();
  c_.cmdExport->setEnabled(false);
  run_thread_ = QThread::create([this] { RunInBackground(); });
  connect(run_thread_, &QThread::finished, this, &FrmOptions::OnRunFinished, Qt::QueuedConnection);
  run_thread_->start();
}

// On the worker thread. Until it returns, this thread alone touches state_;
// the window only paints and serves the run's boxes and progress.
void FrmOptions::RunInBackground() {
  UiThreadNotifier notifier(this, *services_.notifier);
  LoadEngine engine(notifier, ApplicationFolder(state_));
  RunContext context{state_, notifier, progress_, engine, nullptr, {}};
  try {
    RunExport(context);
    // A durability failure at the end is still a failure of the run.
    const LoadResult closed = engine.Close();
    if (!closed.ok) run_error_ = closed.source + ": " + closed.description;
  } catch (const std::exception& error) {
    run_error_ = error.what();
  }
}

void FrmOptions::OnRunFinished() {
  run_thread_->wait();
  delete run_thread_;
  run_thread_ = nullptr;
  c_.txtUserName->setReadOnly(false);
  c_.txtPassword->setReadOnly(false);
  c_.cmdExport->setEnabled(true);
  if (run_error_.empty()) {
    services_.notifier->Show(texts::Done());
  } else {
    // A run that stops on an unexpected error says so and leaves the window
    // open; the loads done so far stay in the table.
    services_.notifier->Show({"The export run stopped: " + run_error_, kApplicationTitle, MessageIcon::kCritical});
  }
  emit runFinished();
}

void FrmOptions::cmdHelp_Click() {
  setCursor(Qt::WaitCursor);
  const std::string path = services_.executable_folder + kPathSeparator + "UserManual.rtf";
  if (services_.open_document) services_.open_document(path);
  unsetCursor();
}

void FrmOptions::cmdQuit_Click() { close(); }

void FrmOptions::closeEvent(QCloseEvent* event) {
  if (running() && services_.end_process_now) services_.end_process_now();
  event->accept();
}

void FrmOptions::txtUserName_Validate() { CleanBox(c_.txtUserName); }

void FrmOptions::txtPassword_Validate() { CleanBox(c_.txtPassword); }

bool FrmOptions::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // Only a move of the focus inside the window validates, not a switch of
    // windows or a popup menu.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == c_.txtUserName) txtUserName_Validate();
      if (watched == c_.txtPassword) txtPassword_Validate();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void FrmOptions::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void FrmOptions::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Once the window is on screen, as its first activation; the boxes that
  // reading the configuration may show then stand over a visible window.
  if (!activated_) QMetaObject::invokeMethod(this, &FrmOptions::Form_Activate, Qt::QueuedConnection);
}

}  // namespace corvanne::ui
