// frmOptions on the offscreen platform: what it shows when it opens, the
// login checks, a real export run into SQLite with its progress, Help, Quit.
// Boxes go to a recording notifier and the shell call to a recording lambda.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QThread>
#include <sqlite3.h>

#include "common/message_texts.hpp"
#include "common/platform.hpp"
#include "common/progress.hpp"
#include "config/app_state.hpp"
#include "testing/temp_dir.hpp"
#include "ui/frm_options.hpp"
#include "ui/message_box.hpp"
#include "ui/progress_widgets.hpp"
#include "ui/window_progress.hpp"

using corvanne::AppState;
using corvanne::Message;
using corvanne::RecordingNotifier;
using corvanne::testing::TempDir;
using corvanne::ui::FormControl;
using corvanne::ui::FrmOptions;
using corvanne::ui::WindowServices;

namespace {

// A fixed clock, so that marker rows and the batch code are known.
class FixedClock : public corvanne::DateTimeSource {
 public:
  std::string ShortDate() const override { return "7/14/2013"; }
  std::string LongTime() const override { return "1:02:05 PM"; }
};

// Every row of the destination column, in load order.
QStringList ReadRows(const std::string& db_path) {
  QStringList rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT MyCodeLine FROM SysCodeLines_Temp ORDER BY LineId", -1, &stmt, nullptr) ==
        SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
      }
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return rows;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Records the boxes, and whether any came from a thread other than the window's.
class UiRecordingNotifier : public RecordingNotifier {
 public:
  void Show(const Message& message) override {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) off_ui_thread = true;
    RecordingNotifier::Show(message);
  }
  bool off_ui_thread = false;
};

// Counts the queued calls delivered on the thread it filters for (the
// events another thread posts to the window's objects).
class MetaCallCounter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MetaCall) ++count;
    return QObject::eventFilter(watched, event);
  }
  int count = 0;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir_;
  AppState state_;
  UiRecordingNotifier notifier_;
  QStringList opened_;                   // what the shell call was asked to open
  bool can_open_ = true;                 // what the shell call answers: a program took the document
  bool cursor_was_wait_ = false;         // the window's pointer during the shell call
  bool ended_now_ = false;               // the immediate process end was asked for
  bool go_on_quietly_ = false;           // the answer to the question whether to go on without boxes
  std::vector<Message> asked_;           // the questions asked
  std::unique_ptr<FrmOptions> window_;

  std::string Config(const std::string& extra = {}) const {
    return "<CONFIG>\r\n<DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>\r\n"
           "<SQL_SERVER_DATABASE_NAME>lines.db</SQL_SERVER_DATABASE_NAME>\r\n"
           "<UNATTENDED_RUN_USER_NAME>  loader  </UNATTENDED_RUN_USER_NAME>\r\n"
           "<UNATTENDED_RUN_PASSWORD>secret</UNATTENDED_RUN_PASSWORD>\r\n"
           "<SOURCE_FOLDERS_LIST_SEP_CHAR>|</SOURCE_FOLDERS_LIST_SEP_CHAR>\r\n"
           "<SOURCE_FOLDERS_LIST>" + dir_->Path("src") + "</SOURCE_FOLDERS_LIST>\r\n" + extra + "</CONFIG>\r\n";
  }

  // Builds the window over the fixture's state and waits for its activation.
  FrmOptions& OpenWindow() {
    WindowServices services;
    services.notifier = &notifier_;
    services.executable_folder = dir_->path().string();
    services.open_document = [this](const std::string& path) {
      opened_ << Q(path);
      cursor_was_wait_ = window_->cursor().shape() == Qt::WaitCursor;
      return can_open_;
    };
    services.end_process_now = [this] { ended_now_ = true; };
    services.ask = [this](const Message& question) {
      asked_.push_back(question);
      return go_on_quietly_;
    };
    window_ = std::make_unique<FrmOptions>(state_, services);
    window_->show();
    if (!window_->activated()) {
      QSignalSpy activated(window_.get(), &FrmOptions::formActivated);
      activated.wait(5000);
    }
    return *window_;
  }

  // Presses Export and, when a run starts, waits for its end.
  void Export() {
    QSignalSpy finished(window_.get(), &FrmOptions::runFinished);
    window_->controls().cmdExport->click();
    if (window_->running()) QVERIFY(finished.wait(30000));
    QCoreApplication::processEvents();
  }

 private slots:
  void init() {
    dir_ = std::make_unique<TempDir>();
    state_ = AppState{};
    state_.ConfigFilePath = dir_->Path("MyConfig.xml");
    notifier_.messages.clear();
    notifier_.off_ui_thread = false;
    opened_.clear();
    asked_.clear();
    can_open_ = true;
    cursor_was_wait_ = false;
    // With recursion on only the folders below src are searched.
    dir_->Write("src/loose.bas", "not searched\r\n");
    dir_->Write("src/one/a.bas", "Attribute VB_Name = \"a\"\r\nSub X()\r\nEnd Sub\r\n");
    dir_->Write("src/one/empty.cls", "");
    dir_->Write("src/one/notes.txt", "not selected\r\n");
    dir_->Write("src/two/b.frm", "line1\nline 'two'\n");
    corvanne::SetDateTimeSource(&clock_);
  }
  void cleanup() {
    window_.reset();
    corvanne::SetDateTimeSource(nullptr);
    dir_.reset();
  }

  void designOfTheWindow() {
    FrmOptions& w = OpenWindow();
    const auto& c = w.controls();
    QCOMPARE(w.objectName(), QStringLiteral("frmOptions"));
    if (w.logicalDpiX() == 96) QCOMPARE(w.size(), QSize(538, 435));  // 8070 x 6525 twips
    QCOMPARE(w.windowTitle(), QStringLiteral("DTS Parameters to export text file lines to MS-SQL Server"));
    QCOMPARE(w.font().family(), QStringLiteral("Courier New"));
    QCOMPARE(w.font().pointSizeF(), 11.25);
    QCOMPARE(c.cmdExport->text(), QStringLiteral("&Export"));
    QCOMPARE(c.cmdQuit->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(c.lblDestCaption->text(), QStringLiteral("Destination database login :"));
    QVERIFY(c.ProgressBar1->isHidden());
    QVERIFY(c.txtCurrFileName->isHidden());
    QCOMPARE(c.ProgressBar1->minimum(), 0);
    QCOMPARE(c.ProgressBar1->maximum(), 100);
    QCOMPARE(c.txtUserName->maxLength(), 100);
    QCOMPARE(c.txtPassword->maxLength(), 100);
    QVERIFY(!c.txtPassword->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(c.txtConfigFilePath->isReadOnly() && c.txtCurrFileName->isReadOnly() && c.RichTextBox1->isReadOnly());
    c.txtPassword->setText(QStringLiteral("abc"));
    QCOMPARE(c.txtPassword->displayText(), QStringLiteral("***"));
    // Tab order, from the rich-text box round to the current-file box.
    QWidget* expected[] = {c.RichTextBox1, c.txtUserName, c.txtPassword,       c.cmdHelp,
                           c.cmdExport,    c.cmdQuit,     c.txtConfigFilePath, c.txtCurrFileName};
    QList<QWidget*> chain;
    QWidget* at = c.RichTextBox1;
    do {
      if (at->focusPolicy() & Qt::TabFocus) chain << at;
      at = at->nextInFocusChain();
    } while (at != c.RichTextBox1 && chain.size() < 20);
    QCOMPARE(chain, QList<QWidget*>(std::begin(expected), std::end(expected)));
  }

  // At 15 twips a pixel, a 9000 x 7200 twip window places its controls on
  // the worked example's pixels.
  void resizeAppliesTheLayout() {
    FrmOptions& w = OpenWindow();
    // The rule works on the outer size, frame included.
    const QSize frame = w.frameGeometry().size() - w.size();
    w.resize(QSize(600, 480) - frame);
    QCoreApplication::processEvents();
    // The offscreen platform reports 96 dpi; the pixels below depend on it.
    QCOMPARE(w.logicalDpiX(), 96);
    const auto& c = w.controls();
    QCOMPARE(c.lblConfig->geometry(), QRect(30, 16, 480, 17));
    QCOMPARE(c.RichTextBox1->geometry(), QRect(30, 82, 480, 144));
    QCOMPARE(c.txtUserName->geometry(), QRect(150, 260, 120, 25));
    QCOMPARE(c.txtCurrFileName->geometry(), QRect(30, 327, 480, 68));
    QCOMPARE(c.cmdExport->geometry(), QRect(240, 412, 73, 25));
    QCOMPARE(c.cmdQuit->geometry(), QRect(415, 412, 65, 25));
  }

  void activationFillsTheBoxes() {
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    const auto& c = w.controls();
    QVERIFY(notifier_.messages.empty());
    QCOMPARE(c.txtConfigFilePath->toPlainText(), Q(dir_->Path("MyConfig.xml")));
    QVERIFY(c.RichTextBox1->toPlainText().contains(QStringLiteral("<SQL_SERVER_DATABASE_NAME>lines.db<")));
    QCOMPARE(c.RichTextBox1->toPlainText().count(QLatin1Char('\n')), 8);
    QCOMPARE(c.txtUserName->text(), QStringLiteral("loader"));
    QCOMPARE(c.txtPassword->text(), QStringLiteral("secret"));
    QCOMPARE(w.focusWidget(), c.txtUserName);
  }

  // The configuration view hides the configured password, one "*" a
  // character, whatever the tag's case or a missing closing tag; the file
  // and the password used stay as they are.
  void configViewMasksThePassword_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("password");
    QTest::newRow("apostrophes and non-ASCII kept")
        << QStringLiteral("<UNATTENDED_RUN_PASSWORD> it's 2 \u00e9</UNATTENDED_RUN_PASSWORD>")
        << QStringLiteral("<UNATTENDED_RUN_PASSWORD>*********</UNATTENDED_RUN_PASSWORD>") << QStringLiteral("it's 2 \u00e9");
    QTest::newRow("tag in another case") << QStringLiteral("<unattended_run_password>x1</Unattended_Run_Password>")
                                         << QStringLiteral("<unattended_run_password>**</Unattended_Run_Password>")
                                         << QString();
    QTest::newRow("closing tag missing") << QStringLiteral("<UNATTENDED_RUN_PASSWORD>open")
                                         << QStringLiteral("<UNATTENDED_RUN_PASSWORD>****\n") << QString();
    QTest::newRow("empty") << QStringLiteral("<UNATTENDED_RUN_PASSWORD></UNATTENDED_RUN_PASSWORD>")
                           << QStringLiteral("<UNATTENDED_RUN_PASSWORD></UNATTENDED_RUN_PASSWORD>") << QString();
  }
  void configViewMasksThePassword() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, password);
    std::string text = Config();
    const std::string line = "<UNATTENDED_RUN_PASSWORD>secret</UNATTENDED_RUN_PASSWORD>";
    text.replace(text.find(line), line.size(), stored.toStdString());
    dir_->Write("MyConfig.xml", text);
    const FrmOptions& w = OpenWindow();
    const QString view = w.controls().RichTextBox1->toPlainText();
    QVERIFY2(view.contains(shown), qPrintable(view));
    QCOMPARE(view.count(QLatin1Char('\n')), 8);
    QVERIFY(view.contains(QStringLiteral("<SQL_SERVER_DATABASE_NAME>lines.db<")));
    QCOMPARE(w.controls().txtPassword->text(), password);
    QCOMPARE(corvanne::testing::ReadBytes(dir_->Path("MyConfig.xml")), text);
  }

  void missingConfigurationLeavesTheBoxesEmpty() {
    FrmOptions& w = OpenWindow();
    const auto& c = w.controls();
    QCOMPARE(notifier_.messages.size(), std::size_t{1});
    QCOMPARE(notifier_.messages[0].text, "Unable to read config file... Expected here... " + dir_->Path("MyConfig.xml"));
    QCOMPARE(notifier_.messages[0].title, std::string("Corvanne"));
    QVERIFY(c.txtConfigFilePath->toPlainText().isEmpty());
    QVERIFY(c.RichTextBox1->toPlainText().isEmpty());
    QVERIFY(c.txtUserName->text().isEmpty());
    // Export reads the file again and refuses to run without it.
    c.txtUserName->setText(QStringLiteral("someone"));
    Export();
    QCOMPARE(notifier_.messages.size(), std::size_t{2});
    QCOMPARE(notifier_.messages[1], notifier_.messages[0]);
    QCOMPARE(state_.Destination.UserName, std::string("someone"));
    QVERIFY(!c.txtUserName->isReadOnly());
    QVERIFY(!std::filesystem::exists(dir_->Path("lines.db")));
  }

  void blankUserNameStopsExport_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("    ");
    QTest::newRow("apostrophes") << QStringLiteral("''");
    QTest::newRow("blanks around apostrophes") << QStringLiteral("  ''  ");
    QTest::newRow("blanks between apostrophes") << QStringLiteral("  ' '  ");
  }
  void blankUserNameStopsExport() {
    QFETCH(QString, typed);
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    w.controls().txtUserName->setText(typed);
    w.controls().txtPassword->setText(QStringLiteral("  pass  "));
    Export();
    QCOMPARE(notifier_.messages.size(), std::size_t{1});
    QCOMPARE(notifier_.messages[0], corvanne::texts::BlankUserName());
    QCOMPARE(notifier_.messages[0].text, std::string("Username cannot be left blank... "));
    QCOMPARE(notifier_.messages[0].title, std::string("Invalid input..."));
    QVERIFY(w.controls().txtUserName->text().isEmpty());
    QCOMPARE(w.controls().txtPassword->text(), QStringLiteral("  pass  "));
    QVERIFY(!w.running());
    QVERIFY(!std::filesystem::exists(dir_->Path("lines.db")));
  }

  // Blanks off the ends (tabs stay) on leaving the box; every apostrophe
  // out of the user name, none out of the password.
  void loginIsCleanedOnFocusLoss_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<QString>("password");
    QTest::newRow("blanks") << QStringLiteral("  sa  ") << QStringLiteral("sa") << QStringLiteral("sa");
    QTest::newRow("apostrophes") << QStringLiteral("o'brien'") << QStringLiteral("obrien") << QStringLiteral("o'brien'");
    QTest::newRow("apostrophe inside blanks") << QStringLiteral(" ' x ' ") << QStringLiteral(" x ")
                                              << QStringLiteral("' x '");
    QTest::newRow("tab kept") << QStringLiteral("\tx ") << QStringLiteral("\tx") << QStringLiteral("\tx");
  }
  void loginIsCleanedOnFocusLoss() {
    QFETCH(QString, typed);
    QFETCH(QString, cleaned);
    QFETCH(QString, password);
    FrmOptions& w = OpenWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const auto& c = w.controls();
    c.txtUserName->setFocus();
    c.txtUserName->setText(typed);
    c.txtPassword->setFocus();
    QCOMPARE(c.txtUserName->text(), cleaned);
    c.txtPassword->setText(typed);
    c.cmdHelp->setFocus(Qt::TabFocusReason);
    QCOMPARE(c.txtPassword->text(), password);
  }

  void exportRunLoadsIntoSqlite() {
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    const auto& c = w.controls();
    c.txtUserName->setText(QStringLiteral(" Load'er "));
    c.txtPassword->setText(QStringLiteral("p'w"));
    Export();
    QCOMPARE(c.txtUserName->text(), QStringLiteral("Loader"));
    QCOMPARE(state_.Destination.UserName, std::string("Loader"));
    QCOMPARE(state_.Destination.Password, std::string("p'w"));  // a password keeps its apostrophes
    QCOMPARE(notifier_.messages.size(), std::size_t{1});
    QCOMPARE(notifier_.messages.back(), corvanne::texts::Done());

    const std::string batch = state_.Run.BatchCode;
    QVERIFY(batch.ends_with("__7_14_2013_1_02_05_PM"));
    const auto header = [&](const char* status, const char* type, int serial, const std::string& path) {
      return QStringLiteral("<TASK_STATUS>%1</TASK_STATUS><TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME>"
                            "<BATCH_CODE>%2</BATCH_CODE><FILE_TYPE>%3</FILE_TYPE><USER_NAME>LOADER</USER_NAME>"
                            "<FILE_SERIAL_NUMBER>%4</FILE_SERIAL_NUMBER><DATE_TIME>7/14/2013 1:02:05 PM</DATE_TIME>"
                            "<FILE_NAME>%5</FILE_NAME>")
          .arg(QLatin1String(status), Q(batch), QLatin1String(type), QString::number(serial), Q(path).toUpper());
    };
    const std::string a = dir_->Path("src/one/a.bas");
    const std::string b = dir_->Path("src/two/b.frm");
    const QStringList expected = {header("BEGINS", "BAS", 1, a), QStringLiteral("Attribute VB_Name = \"a\""),
                                  QStringLiteral("Sub X()"),      QStringLiteral("End Sub"),
                                  header("DONE", "BAS", 1, a),   header("BEGINS", "FRM", 3, b),
                                  QStringLiteral("line1"),       QStringLiteral("line 'two'"),
                                  header("DONE", "FRM", 3, b)};
    QCOMPARE(ReadRows(dir_->Path("lines.db")), expected);

    QVERIFY(c.ProgressBar1->isVisible());
    QCOMPARE(c.ProgressBar1->maximum(), 3);
    QCOMPARE(c.ProgressBar1->value(), 3);
    QVERIFY(c.txtCurrFileName->isVisible());
    // The outcome follows the last progress report.
    QVERIFY(c.txtCurrFileName->toPlainText().startsWith(" Batch Code : " + Q(batch) + "\n\n3 of 3 : " + Q(b) +
                                                        "\n\n2 files loaded, 1 passed over, 0 failed, 5 lines in "));
    QVERIFY(!c.txtUserName->isReadOnly() && !c.txtPassword->isReadOnly());
    QVERIFY(c.cmdExport->isEnabled());
  }

  // A second Export is a whole new run: the bar starts again from 1.
  void secondExportStartsAgain() {
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    Export();
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), 9);
    QSignalSpy values(w.controls().ProgressBar1, &QProgressBar::valueChanged);
    Export();
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), 18);
    QVERIFY(!values.isEmpty());
    QList<int> seen;
    for (const auto& args : values) seen << args.at(0).toInt();
    QVERIFY2(seen.contains(1), qPrintable(QStringLiteral("values seen: %1").arg(seen.size())));
    QCOMPARE(seen.last(), 3);
    QCOMPARE(w.controls().ProgressBar1->maximum(), 3);
    QCOMPARE(notifier_.messages.size(), std::size_t{2});
    // Each run has its own batch code, even within one second (the clock here
    // never moves), and the box shows the new one.
    const QStringList rows = ReadRows(dir_->Path("lines.db"));
    const auto batch = [](const QString& row) { return row.section(QStringLiteral("BATCH_CODE>"), 1, 1).chopped(2); };
    QVERIFY(batch(rows[0]).endsWith(QStringLiteral("_PM")));
    QCOMPARE(batch(rows[9]), batch(rows[0]) + QStringLiteral("_2"));
    QVERIFY(w.controls().txtCurrFileName->toPlainText().startsWith(" Batch Code : " + batch(rows[9]) + "\n"));
  }

  // A failed load's two boxes come from the run's thread but are shown on
  // the window's, in order, before "Done..."; the run goes on after them.
  void failedLoadBoxesComeThroughTheWindow() {
    dir_->Write("src/two/c.cls", std::string(9000, 'x') + "\r\n");
    dir_->Write("MyConfig.xml", Config());
    OpenWindow();
    Export();
    QVERIFY(!notifier_.off_ui_thread);
    QCOMPARE(notifier_.messages.size(), std::size_t{3});
    QVERIFY(notifier_.messages[0].text.find(" failed\r\n") != std::string::npos);
    QCOMPARE(notifier_.messages[1], corvanne::texts::ErrorForFile(dir_->Path("src/two/c.cls")));
    QCOMPARE(notifier_.messages[2], corvanne::texts::Done());
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), 9 + 2);  // c.cls: its two marker rows only
  }

  // Three failed files: after the third box one question; a Yes keeps the
  // rest of the boxes back. Either way the window ends with the counts and
  // every failed file with its cause, read-only and selectable for copying.
  void endOfRunShowsTheOutcomeAndBoxesCanStop_data() {
    QTest::addColumn<bool>("go_on_quietly");
    QTest::addColumn<int>("boxes");  // before "Done..."
    QTest::newRow("go on without boxes") << true << 3;
    QTest::newRow("keep the boxes") << false << 6;
  }
  void endOfRunShowsTheOutcomeAndBoxesCanStop() {
    QFETCH(bool, go_on_quietly);
    QFETCH(int, boxes);
    go_on_quietly_ = go_on_quietly;
    for (const char* name : {"c1", "c2", "c3"}) dir_->Write("src/two/" + std::string(name) + ".cls", std::string(9000, 'x') + "\r\n");
    dir_->Write("MyConfig.xml", Config());
    const auto& c = OpenWindow().controls();
    Export();
    QCOMPARE(asked_.size(), std::size_t{1});
    QCOMPARE(asked_[0], corvanne::texts::GoOnWithoutBoxes(3));
    QCOMPARE(notifier_.messages.size(), std::size_t(boxes + 1));
    QCOMPARE(notifier_.messages.back(), corvanne::texts::Done());
    QCOMPARE(notifier_.messages[2].text.find(" failed\r\n"), notifier_.messages[0].text.find(" failed\r\n"));

    const QStringList lines = c.txtCurrFileName->toPlainText().split(u'\n');
    QVERIFY(c.txtCurrFileName->isVisible() && c.txtCurrFileName->isReadOnly());
    QVERIFY(c.txtCurrFileName->textInteractionFlags() & Qt::TextSelectableByMouse);
    // The counts are in view without scrolling, in a box a few lines high.
    QVERIFY(c.txtCurrFileName->textCursor().block().text().startsWith(QStringLiteral("2 files loaded")));
    QVERIFY(c.txtCurrFileName->viewport()->rect().contains(c.txtCurrFileName->cursorRect()));
    QVERIFY2(lines.size() == 10, qPrintable(lines.join(u'|')));
    QVERIFY(lines[4].startsWith(QStringLiteral("2 files loaded, 1 passed over, 3 failed (3 failed loads), 5 lines in ")));
    QCOMPARE(lines[6], QStringLiteral("Failed files:"));
    for (int i = 0; i < 3; ++i) {
      const QString file = Q(dir_->Path("src/two/c" + std::to_string(i + 1) + ".cls"));
      QVERIFY2(lines[7 + i].startsWith(file + ": ") && lines[7 + i].contains(QStringLiteral("longer than the 8000")),
               qPrintable(lines[7 + i]));
    }
    // The next run shows its boxes again, asks again and starts a new list.
    Export();
    QCOMPARE(asked_.size(), std::size_t{2});
    QCOMPARE(notifier_.messages.size(), std::size_t(2 * (boxes + 1)));
    QCOMPARE(c.txtCurrFileName->toPlainText().split(u'\n').size(), 10);
  }

  void exportIsRefusedWhileRunning() {
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    QSignalSpy finished(&w, &FrmOptions::runFinished);
    w.controls().cmdExport->click();
    QVERIFY(w.running());
    QVERIFY(!w.controls().cmdExport->isEnabled());
    QVERIFY(w.controls().txtUserName->isReadOnly());
    w.cmdExport_Click();  // a second press reaching the handler anyway
    QVERIFY(finished.wait(30000));
    QTest::qWait(200);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), 9);
  }

  // Help asks the shell; when no program can open the manual, a box says
  // so and where the manual is.
  // Destroying the window mid-run waits for the run, serving its boxes
  // meanwhile, and reports nothing after it: no crash, no "Done..." over a
  // window going away, every file loaded.
  void destroyedDuringARun() {
    dir_->Write("src/two/c.cls", std::string(9000, 'x') + "\r\n");  // a failed load: two boxes to serve
    dir_->Write("MyConfig.xml", Config());
    OpenWindow().controls().cmdExport->click();
    QVERIFY(window_->running());
    window_.reset();
    QCoreApplication::processEvents();
    QCOMPARE(notifier_.messages.size(), std::size_t{2});
    QCOMPARE(notifier_.messages[1], corvanne::texts::ErrorForFile(dir_->Path("src/two/c.cls")));
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), 9 + 2);
  }

  // A run over 20,000 small files keeps the window's event queue bounded:
  // its progress wakes the window a few times a second, never once per
  // file, and the display changes at most about twenty times a second.
  // The last file is shown at the end.
  void manyFilesKeepTheEventQueueBounded() {
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) {
      dir_->Write("src/d" + std::to_string(i / 500) + "/f" + std::to_string(i) + ".bas", "x\r\n");
    }
    dir_->Write("MyConfig.xml", Config("<SKIP_COMPLETION_HEADERS_YES_NO>YES</SKIP_COMPLETION_HEADERS_YES_NO>\r\n"));
    FrmOptions& w = OpenWindow();
    QSignalSpy values(w.controls().ProgressBar1, &QProgressBar::valueChanged);
    MetaCallCounter posted;
    QCoreApplication::instance()->installEventFilter(&posted);
    QElapsedTimer clock;
    clock.start();
    Export();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    QCoreApplication::instance()->removeEventFilter(&posted);

    // Twenty updates a second and a few of slack; each update sets at most
    // two bar values and costs one wake-up and the text box's own two queued
    // layout calls. One event per file would be 20,000.
    const double updates = 20 * seconds + 5;
    QVERIFY2(values.size() <= 2 * updates,
             qPrintable(QStringLiteral("%1 bar values in %2 s").arg(values.size()).arg(seconds)));
    QVERIFY2(posted.count <= 4 * updates,
             qPrintable(QStringLiteral("%1 queued calls in %2 s").arg(posted.count).arg(seconds)));
    const auto& c = w.controls();
    QCOMPARE(c.ProgressBar1->maximum(), kFiles + 3);
    QCOMPARE(c.ProgressBar1->value(), kFiles + 3);
    QVERIFY(c.txtCurrFileName->toPlainText().contains(QStringLiteral("20003 of 20003 : ") + Q(dir_->Path("src/two/b.frm")) +
                                                      QStringLiteral("\n\n")));
    QCOMPARE(ReadRows(dir_->Path("lines.db")).size(), kFiles + 5);
    QCOMPARE(notifier_.messages.back(), corvanne::texts::Done());
  }

  void helpOpensTheManual_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("canOpen");
    QTest::newRow("manual present") << true << true;
    QTest::newRow("manual missing") << false << true;
    QTest::newRow("no program to open it") << true << false;
  }
  void helpOpensTheManual() {
    QFETCH(bool, present);
    QFETCH(bool, canOpen);
    if (present) dir_->Write("UserManual.rtf", "{\\rtf1 x}");
    can_open_ = canOpen;
    FrmOptions& w = OpenWindow();
    notifier_.messages.clear();
    w.controls().cmdHelp->click();
    const std::string manual = dir_->Path("UserManual.rtf");
    QCOMPARE(opened_, QStringList{Q(manual)});
    QVERIFY(cursor_was_wait_);
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    if (canOpen) {
      QVERIFY(notifier_.messages.empty());
    } else {
      QCOMPARE(notifier_.messages.size(), std::size_t{1});
      QCOMPARE(notifier_.messages[0].text, "No program is set up to open the user manual.\r\nIt is here: " + manual);
      QCOMPARE(notifier_.messages[0].title, std::string("Corvanne"));
    }
  }

  // Quit, Esc (Quit is the cancel button) and the close box close the
  // window; only during a run is the process ended on the spot.
  void quitClosesTheWindow_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("duringRun");
    QTest::newRow("Quit") << 0 << false;
    QTest::newRow("Esc in the user name box") << 1 << false;
    QTest::newRow("close box") << 2 << false;
    QTest::newRow("Quit during a run") << 0 << true;
  }
  void quitClosesTheWindow() {
    QFETCH(int, how);
    QFETCH(bool, duringRun);
    dir_->Write("MyConfig.xml", Config());
    FrmOptions& w = OpenWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy finished(&w, &FrmOptions::runFinished);
    if (duringRun) w.controls().cmdExport->click();
    if (how == 0) w.controls().cmdQuit->click();
    if (how == 1) {
      w.controls().txtUserName->setFocus();
      QTest::keyClick(w.controls().txtUserName, Qt::Key_Escape);
    }
    if (how == 2) w.close();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(ended_now_, duringRun);
    if (duringRun) QVERIFY(finished.wait(30000));
  }

  // The real boxes: exact text (CR LF shown as one break, markup not
  // interpreted), title, icon, one OK button; modal until answered.
  void messageBoxesAreExact_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::newRow("standard error") << 0 << QStringLiteral("Error No. 13\nDescription : Permission denied")
                                    << QStringLiteral("Corvanne") << int(QMessageBox::NoIcon);
    QTest::newRow("markup stays text") << 1 << QStringLiteral("Unable to read config file... Expected here... /a/<b>x</b>")
                                       << QStringLiteral("Corvanne") << int(QMessageBox::NoIcon);
    QTest::newRow("blank user name") << 2 << QStringLiteral("Username cannot be left blank... ")
                                     << QStringLiteral("Invalid input...") << int(QMessageBox::Critical);
    QTest::newRow("done") << 3 << QStringLiteral("Done...") << QStringLiteral("Done.. ") << int(QMessageBox::Information);
  }
  void messageBoxesAreExact() {
    QFETCH(int, which);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(int, icon);
    const Message messages[] = {corvanne::texts::StandardError({13, "Permission denied"}),
                                corvanne::texts::ConfigFileMissing("/a/<b>x</b>"), corvanne::texts::BlankUserName(),
                                corvanne::texts::Done()};
    QString seen_text;
    QString seen_title;
    int seen_icon = -1;
    int seen_buttons = 0;
    bool seen_modal = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      poll.stop();
      seen_text = box->text();
      seen_title = box->windowTitle();
      seen_icon = box->icon();
      seen_buttons = int(box->buttons().size());
      seen_modal = box->isModal() && box->textFormat() == Qt::PlainText;
      box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    corvanne::ui::MessageBoxNotifier boxes;
    boxes.Show(messages[which]);
    QCOMPARE(seen_text, text);
    QCOMPARE(seen_title, title);
    QCOMPARE(seen_icon, icon);
    QCOMPARE(seen_buttons, 1);
    QVERIFY(seen_modal);
  }

  // The bar takes a maximum below its value, from the window's thread or a
  // run's, and the reports apply in order.
  void barAcceptsMaximumBelowValue() {
    QProgressBar bar;
    QPlainTextEdit box;
    corvanne::ui::WidgetProgressDisplay display(&bar, &box);
    display.SetBarMaximum(12);
    display.SetBarValue(12);
    display.SetBarMaximum(3);
    QCOMPARE(bar.maximum(), 3);
    QVERIFY(bar.value() <= 3);
    display.SetBarValue(1);
    QCOMPARE(bar.value(), 1);

    std::string batch = "B";
    corvanne::ui::WindowProgress progress(display, batch);
    QThread* worker = QThread::create([&] {
      progress.FolderStarted(12, 12, "p12");
      progress.FolderStarted(1, 2, "p1");
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QTRY_COMPARE(box.toPlainText(), QStringLiteral(" Batch Code : B\n\n1 of 2 : p1"));
    QCOMPARE(bar.maximum(), 2);
    QCOMPARE(bar.value(), 1);
  }

 private:
  FixedClock clock_;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
