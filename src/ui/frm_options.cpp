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
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <algorithm>
#include <exception>
#include <string_view>

#include "common/message_texts.hpp"
#include "config/config_file.hpp"
#include "config/settings.hpp"
#include "run/load_engine.hpp"
#include "run/export.hpp"
#include "run/terminal_progress.hpp"
#include "ui/message_box.hpp"

namespace corvanne::ui {

namespace {

// Blanks (U+0020 only) off both ends, then, for the user name, every
// apostrophe out. A password keeps its apostrophes: it is only ever passed
// as a login value, never put into SQL text, so removing them would only
// break correct passwords.
QString CleanLoginText(const QString& text, bool remove_apostrophes) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == u' ') ++begin;
  while (end > begin && text[end - 1] == u' ') --end;
  QString out = text.mid(begin, end - begin);
  if (remove_apostrophes) out.remove(u'\'');
  return out;
}

void CleanBox(QLineEdit* box, bool remove_apostrophes) {
  const QString cleaned = CleanLoginText(box->text(), remove_apostrophes);
  if (cleaned != box->text()) box->setText(cleaned);
}

// ASCII letters upper-cased, every other byte kept: same length, so
// positions found in the copy hold in the original.
std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; });
  return out;
}

// The configuration as the window shows it: every character between an
// UNATTENDED_RUN_PASSWORD tag (in any case: a misspelt tag still holds a
// password) and its closing tag, or the end of the line when it is left
// open, shown as "*"; line breaks kept. One "*" per UTF-8 character.
std::string MaskPassword(const std::string& text) {
  static constexpr std::string_view kOpen = "<UNATTENDED_RUN_PASSWORD>";
  static constexpr std::string_view kClose = "</UNATTENDED_RUN_PASSWORD>";
  const std::string upper = AsciiUpper(text);
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (std::size_t open = upper.find(kOpen); open != std::string::npos; open = upper.find(kOpen, at)) {
    const std::size_t value = open + kOpen.size();
    std::size_t end = upper.find(kClose, value);
    if (end == std::string::npos) end = std::min(upper.find_first_of("\r\n", value), text.size());
    out.append(text, at, value - at);
    for (std::size_t i = value; i < end; ++i) {
      const auto ch = static_cast<unsigned char>(text[i]);
      if (ch == '\r' || ch == '\n') {
        out += static_cast<char>(ch);
      } else if ((ch & 0xC0) != 0x80) {
        out += '*';
      }
    }
    at = end;
  }
  out.append(text, at);
  return out;
}

// Lines of `text` as a plain-text box holds them.
int CountLines(const std::string& text) { return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

FrmOptions::FrmOptions(AppState& state, WindowServices services, QWidget* parent)
    : QWidget(parent), state_(state), services_(std::move(services)) {
  BuildControls();
  SetTabOrder();
  PlaceAtDesignSize();
  display_ = std::make_unique<WidgetProgressDisplay>(c_.ProgressBar1, c_.txtCurrFileName);
  progress_ = std::make_unique<WindowProgress>(*display_, state_.Run.BatchCode);
  run_boxes_ = std::make_unique<RunBoxes>(*services_.notifier, services_.ask ? services_.ask : [this](const Message& m) {
    return AskYesNo(m, this);
  });

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
  // The events served below may include the run's end; from here on
  // OnRunFinished must not run, or it would delete the thread this loop
  // waits for and show a box over a window going away.
  closing_ = true;
  disconnect(run_thread_, nullptr, this, nullptr);
  // The run may be waiting on a box served by this thread: keep serving.
  while (!run_thread_->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
  delete run_thread_;
  run_thread_ = nullptr;
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
  c_.RichTextBox1->setPlainText(ToDisplayText(MaskPassword(state_.ConfigText)));
  c_.txtUserName->setText(QString::fromStdString(state_.Destination.UserName));
  c_.txtPassword->setText(QString::fromStdString(state_.Destination.Password));
}

void FrmOptions::cmdExport_Click() {
  if (running()) return;
  CleanBox(c_.txtUserName, true);
  // Blanks that stood between apostrophes survive the cleaning; a name made
  // of nothing else is still blank, and logging in as " " helps nobody.
  const QString name = c_.txtUserName->text();
  if (std::all_of(name.begin(), name.end(), [](QChar ch) { return ch == u' '; })) {
    c_.txtUserName->clear();
    services_.notifier->Show(texts::BlankUserName());
    return;
  }
  CleanBox(c_.txtPassword, false);
  state_.Destination.UserName = c_.txtUserName->text().toStdString();
  state_.Destination.Password = c_.txtPassword->text().toStdString();

  std::string status;
  ReadConfigFile(state_, *services_.notifier, status);
  if (status == kStatusFailed) return;

  c_.txtUserName->setReadOnly(true);
  c_.txtPassword->setReadOnly(true);
  // Each run gets a batch code of its own, or the rows of two Exports in one
  // session could not be told apart.
  if (batch_code_used_) state_.Run.BatchCode = NextBatchCode(state_.Run.BatchCode);
  batch_code_used_ = true;
  StartRun();
}

void FrmOptions::StartRun() {
  run_error_.clear();
  run_boxes_->Start();
  run_counts_ = RunCounts{};
  c_.cmdExport->setEnabled(false);
  run_thread_ = QThread::create([this] { RunInBackground(); });
  connect(run_thread_, &QThread::finished, this, &FrmOptions::OnRunFinished, Qt::QueuedConnection);
  run_thread_->start();
}

// On the worker thread. Until it returns, this thread alone touches state_;
// the window only paints and serves the run's boxes and progress.
void FrmOptions::RunInBackground() {
  const double started = SteadySeconds();
  UiThreadNotifier notifier(this, *run_boxes_);
  LoadEngine engine(notifier, ApplicationFolder(state_));
  RunContext context{state_, notifier, *progress_, engine, {}};
  try {
    RunExport(context);
    // A durability failure at the end is still a failure of the run.
    const LoadResult closed = engine.Close();
    if (!closed.ok) run_error_ = closed.source + ": " + closed.description;
  } catch (const std::exception& error) {
    run_error_ = error.what();
  }
  run_counts_ = context.counts;
  run_seconds_ = SteadySeconds() - started;
}

void FrmOptions::OnRunFinished() {
  if (closing_ || run_thread_ == nullptr) return;
  run_thread_->wait();
  delete run_thread_;
  run_thread_ = nullptr;
  c_.txtUserName->setReadOnly(false);
  c_.txtPassword->setReadOnly(false);
  c_.cmdExport->setEnabled(true);
  progress_->Flush();  // the last report, which may still wait for its turn
  // The outcome stays on screen, where it can be read and copied: the boxes
  // of a long run are gone, or were never shown.
  // Below the last report, which names the last file.
  const std::string last_report = c_.txtCurrFileName->isVisible() ? c_.txtCurrFileName->toPlainText().toStdString() : "";
  c_.txtCurrFileName->setPlainText(QString::fromStdString(
      RunOutcomeText(last_report, state_.Run.BatchCode, run_counts_, run_seconds_, run_boxes_->failures())));
  c_.txtCurrFileName->setVisible(true);
  // The box is a few lines high: the counts are brought into view, with as
  // much of the list below them as fits.
  QTextCursor cursor = c_.txtCurrFileName->textCursor();
  cursor.movePosition(QTextCursor::End);
  c_.txtCurrFileName->setTextCursor(cursor);
  c_.txtCurrFileName->ensureCursorVisible();
  const QTextBlock counts =
      c_.txtCurrFileName->document()->findBlockByNumber(last_report.empty() ? 2 : CountLines(last_report) + 1);
  cursor.setPosition(counts.position());
  c_.txtCurrFileName->setTextCursor(cursor);
  c_.txtCurrFileName->ensureCursorVisible();
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
  const bool opened = !services_.open_document || services_.open_document(path);
  unsetCursor();
  // Help that does nothing would leave the user guessing; the path lets
  // them open the manual some other way.
  if (!opened) services_.notifier->Show(texts::NoProgramForManual(path));
}

void FrmOptions::cmdQuit_Click() { close(); }

void FrmOptions::closeEvent(QCloseEvent* event) {
  if (running() && services_.end_process_now) services_.end_process_now();
  event->accept();
}

void FrmOptions::txtUserName_Validate() { CleanBox(c_.txtUserName, true); }

void FrmOptions::txtPassword_Validate() { CleanBox(c_.txtPassword, false); }

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
