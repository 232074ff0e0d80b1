// How frmOptions is built: its controls with their names, texts, fonts and
// design sizes, the tab order, and the layout rule applied in pixels.
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>
#include <cstdlib>

#include "common/platform.hpp"
#include "ui/frm_options.hpp"
#include "ui/message_box.hpp"

namespace corvanne::ui {

namespace {

constexpr double kClientWidthTwips = 8070;   // initial client area
constexpr double kClientHeightTwips = 6525;

// Shows every character of a password box as "*", whatever the style's own mask.
class AsteriskPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

// A font by family and size; the hint picks a look-alike where the family is missing.
QFont MakeFont(const char* family, double points, QFont::StyleHint hint) {
  QFont font(QString::fromLatin1(family));
  font.setPointSizeF(points);
  font.setWeight(QFont::Normal);
  font.setStyleHint(hint);
  return font;
}

// A multi-line, read-only box with a vertical scroll bar on a grey background.
QPlainTextEdit* MakeReadOnlyBox(QWidget* parent, const char* name) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setReadOnly(true);
  box->setTabChangesFocus(true);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Disabled, QPalette::Text));
  box->setPalette(palette);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const QFont& font) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(font);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* MakeLoginBox(QWidget* parent, const char* name) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setMaxLength(100);
  return box;
}

// The desktop's associated program opens the document; a missing file is
// left alone, so nothing at all happens (no error dialog from the desktop).
// False when the desktop has no way to open it.
bool OpenWithShell(const std::string& path) {
  const QString file = QString::fromStdString(path);
  if (!QFileInfo(file).isFile()) return true;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace

WindowServices DefaultServices(Notifier& notifier) {
  WindowServices services;
  services.notifier = &notifier;
  services.open_document = OpenWithShell;
  services.executable_folder = ExecutableFolder();
  // A run on its worker thread cannot be unwound from outside; its open
  // transaction is rolled back by the database when the process goes.
  services.end_process_now = [] { std::_Exit(0); };
  return services;
}

QWidget* FormControls::Get(FormControl control) const {
  switch (control) {
    case FormControl::kLblConfig: return lblConfig;
    case FormControl::kTxtConfigFilePath: return txtConfigFilePath;
    case FormControl::kRichTextBox1: return RichTextBox1;
    case FormControl::kLblDestCaption: return lblDestCaption;
    case FormControl::kLblUserName: return lblUserName;
    case FormControl::kTxtUserName: return txtUserName;
    case FormControl::kLblPassword: return lblPassword;
    case FormControl::kTxtPassword: return txtPassword;
    case FormControl::kProgressBar1: return ProgressBar1;
    case FormControl::kTxtCurrFileName: return txtCurrFileName;
    case FormControl::kCmdHelp: return cmdHelp;
    case FormControl::kCmdExport: return cmdExport;
    case FormControl::kCmdQuit: return cmdQuit;
  }
  return nullptr;
}

void FrmOptions::BuildControls() {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("DTS Parameters to export text file lines to MS-SQL Server"));
  setFont(MakeFont("Courier New", 11.25, QFont::TypeWriter));

  c_.ProgressBar1 = new QProgressBar(this);
  c_.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  c_.ProgressBar1->setOrientation(Qt::Horizontal);
  c_.ProgressBar1->setRange(0, 100);
  c_.ProgressBar1->setFocusPolicy(Qt::NoFocus);

  c_.RichTextBox1 = new QPlainTextEdit(QStringLiteral("RichTextBox1"), this);
  c_.RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
  c_.RichTextBox1->setFont(MakeFont("Courier", 9.75, QFont::TypeWriter));
  c_.RichTextBox1->setReadOnly(true);
  c_.RichTextBox1->setTabChangesFocus(true);
  c_.RichTextBox1->setLineWrapMode(QPlainTextEdit::NoWrap);

  c_.txtUserName = MakeLoginBox(this, "txtUserName");
  c_.txtPassword = MakeLoginBox(this, "txtPassword");
  c_.txtPassword->setEchoMode(QLineEdit::Password);
  auto* asterisks = new AsteriskPasswordStyle;
  asterisks->setParent(this);
  c_.txtPassword->setStyle(asterisks);
  c_.txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
  c_.txtPassword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);

  c_.cmdHelp = MakeButton(this, "cmdHelp", "&Help", MakeFont("Courier New", 9.75, QFont::TypeWriter));
  c_.cmdExport = MakeButton(this, "cmdExport", "&Export", MakeFont("Courier", 9.75, QFont::TypeWriter));
  c_.cmdQuit = MakeButton(this, "cmdQuit", "&Quit", MakeFont("MS Sans Serif", 8.25, QFont::SansSerif));

  c_.lblConfig = MakeLabel(this, "lblConfig", "Run Parameters from Config File : ");
  c_.txtConfigFilePath = MakeReadOnlyBox(this, "txtConfigFilePath");
  c_.txtConfigFilePath->setPlainText(QStringLiteral("ConfigFilePathName goes here...\n"));
  c_.lblUserName = MakeLabel(this, "lblUserName", "User Name :");
  c_.lblPassword = MakeLabel(this, "lblPassword", "Password :");
  c_.lblDestCaption = MakeLabel(this, "lblDestCaption", "Destination database login :");
  c_.txtCurrFileName = MakeReadOnlyBox(this, "txtCurrFileName");
  c_.txtCurrFileName->setPlainText(QStringLiteral("Current File name in process goes here...\n"));
  c_.txtCurrFileName->setVisible(false);

  for (QLabel* label : {c_.lblConfig, c_.lblUserName, c_.lblPassword, c_.lblDestCaption}) {
    label->setForegroundRole(QPalette::WindowText);
  }
}

void FrmOptions::SetTabOrder() {
  QWidget* order[] = {c_.RichTextBox1, c_.txtUserName, c_.txtPassword,       c_.cmdHelp,
                      c_.cmdExport,    c_.cmdQuit,     c_.txtConfigFilePath, c_.txtCurrFileName};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

double FrmOptions::TwipsPerPx() const { return TwipsPerPixel(logicalDpiX()); }

void FrmOptions::PlaceAtDesignSize() {
  const double tpp = TwipsPerPx();
  const FormLayout design = DesignLayout();
  for (std::size_t i = 0; i < kFormControlCount; ++i) {
    const ControlRect& r = design.rects[i];
    c_.Get(static_cast<FormControl>(i))
        ->setGeometry(static_cast<int>(std::lround(r.left / tpp)), static_cast<int>(std::lround(r.top / tpp)),
                      static_cast<int>(std::lround(r.width / tpp)), static_cast<int>(std::lround(r.height / tpp)));
  }
  resize(static_cast<int>(std::lround(kClientWidthTwips / tpp)), static_cast<int>(std::lround(kClientHeightTwips / tpp)));
}

void FrmOptions::Form_Resize() {
  const double tpp = TwipsPerPx();
  FormLayout current;
  for (std::size_t i = 0; i < kFormControlCount; ++i) {
    const QRect g = c_.Get(static_cast<FormControl>(i))->geometry();
    current.rects[i] = {g.x() * tpp, g.y() * tpp, g.width() * tpp, g.height() * tpp};
  }
  // Controls sit on whole pixels; the rule reads them back as the platform stored them.
  const TwipSnap to_pixels = [tpp](double twips) { return std::round(twips / tpp) * tpp; };
  const QRect frame = frameGeometry();
  const FormLayout next = LayOutForm(frame.width() * tpp, frame.height() * tpp, current, to_pixels);
  for (std::size_t i = 0; i < kFormControlCount; ++i) {
    const ControlRect& r = next.rects[i];
    c_.Get(static_cast<FormControl>(i))
        ->setGeometry(static_cast<int>(std::lround(r.left / tpp)), static_cast<int>(std::lround(r.top / tpp)),
                      static_cast<int>(std::lround(r.width / tpp)), static_cast<int>(std::lround(r.height / tpp)));
  }
  // The login labels are a tenth of the window wide, too narrow for their
  // captions in this font; they paint over the free gap up to their box.
  // The rule itself is unchanged: it never reads these two widths back.
  for (auto [label, box] : {std::pair{c_.lblUserName, c_.txtUserName}, std::pair{c_.lblPassword, c_.txtPassword}}) {
    label->resize(std::max(label->width(), box->x() - label->x()), label->height());
  }
}

}  // namespace corvanne::ui
