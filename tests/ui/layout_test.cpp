// The window's layout rule, on its own: the worked example, the rounding of
// the margin, what a taller or wider window changes, tiny windows, snapping.
#include <QTest>
#include <cmath>

#include "ui/layout.hpp"

using corvanne::ui::ControlName;
using corvanne::ui::ControlRect;
using corvanne::ui::DesignLayout;
using corvanne::ui::FormControl;
using corvanne::ui::FormLayout;
using corvanne::ui::kFormControlCount;
using corvanne::ui::LayOutForm;

namespace {

FormControl ByName(const QString& name) {
  for (std::size_t i = 0; i < kFormControlCount; ++i) {
    const auto c = static_cast<FormControl>(i);
    if (name == QLatin1String(ControlName(c).data(), static_cast<qsizetype>(ControlName(c).size()))) return c;
  }
  qFatal("no control named %s", qPrintable(name));
}

void AddRow(const char* name, double left, double top, double width, double height) {
  QTest::newRow(name) << QString::fromLatin1(name) << left << top << width << height;
}

void AddRectColumns() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<double>("left");
  QTest::addColumn<double>("top");
  QTest::addColumn<double>("width");
  QTest::addColumn<double>("height");
}

void CompareRect(const FormLayout& layout) {
  QFETCH(QString, control);
  QFETCH(double, left);
  QFETCH(double, top);
  QFETCH(double, width);
  QFETCH(double, height);
  const ControlRect& r = layout[ByName(control)];
  QCOMPARE(r.left, left);
  QCOMPARE(r.top, top);
  QCOMPARE(r.width, width);
  QCOMPARE(r.height, height);
}

// Truncates to whole pixels of 15 twips, as a platform that cuts fractions would.
double FloorToPixel(double twips) { return std::floor(twips / 15) * 15; }

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void workedExample_data() {
    AddRectColumns();
    AddRow("lblConfig", 450, 240, 7200, 255);
    AddRow("txtConfigFilePath", 450, 495, 7200, 735);
    AddRow("RichTextBox1", 450, 1230, 7200, 2160);
    AddRow("lblDestCaption", 450, 3645, 7200, 255);
    AddRow("lblUserName", 450, 3900, 900, 255);
    AddRow("txtUserName", 2250, 3900, 1800, 375);
    AddRow("lblPassword", 450, 4275, 900, 255);
    AddRow("txtPassword", 2250, 4275, 1800, 375);
    AddRow("ProgressBar1", 450, 4650, 7200, 255);
    AddRow("txtCurrFileName", 450, 4905, 7200, 1020);
    AddRow("cmdHelp", 450, 6180, 900, 375);
    AddRow("cmdExport", 3600, 6180, 1095, 375);
    AddRow("cmdQuit", 6225, 6180, 975, 375);
  }
  void workedExample() { CompareRect(LayOutForm(9000, 7200, DesignLayout())); }

  // Each later step reads the earlier controls as the platform stored them.
  void readsControlsAfterTheirMove_data() {
    AddRectColumns();
    AddRow("lblConfig", 405, 225, 6540, 255);
    AddRow("txtConfigFilePath", 405, 480, 6540, 735);
    AddRow("RichTextBox1", 405, 1215, 6540, 2070);
    AddRow("lblDestCaption", 405, 3540, 6540, 255);
    AddRow("lblUserName", 405, 3795, 810, 255);
    AddRow("txtUserName", 2025, 3795, 1635, 375);
    AddRow("txtPassword", 2025, 4170, 1635, 375);
    AddRow("txtCurrFileName", 405, 4800, 6540, 1020);
    AddRow("cmdHelp", 405, 6075, 810, 375);
    AddRow("cmdExport", 3270, 6075, 1095, 375);
    AddRow("cmdQuit", 5565, 6075, 975, 375);
  }
  void readsControlsAfterTheirMove() { CompareRect(LayOutForm(8190, 6930, DesignLayout(), FloorToPixel)); }

  // L and W go half to even; the first label's left is FW / 20 unrounded.
  void marginRounding_data() {
    QTest::addColumn<double>("fw");
    QTest::addColumn<double>("margin");
    QTest::addColumn<double>("firstLabelLeft");
    QTest::addColumn<double>("contentWidth");
    QTest::newRow("8190: 409.5 goes up to even") << 8190.0 << 410.0 << 409.5 << 6552.0;
    QTest::newRow("8210: 410.5 goes down to even") << 8210.0 << 410.0 << 410.5 << 6568.0;
    QTest::newRow("8230: 411.5 goes up to even") << 8230.0 << 412.0 << 411.5 << 6584.0;
  }
  void marginRounding() {
    QFETCH(double, fw);
    QFETCH(double, margin);
    QFETCH(double, firstLabelLeft);
    QFETCH(double, contentWidth);
    const FormLayout l = LayOutForm(fw, 6930, DesignLayout());
    QCOMPARE(l[FormControl::kLblConfig].left, firstLabelLeft);
    QCOMPARE(l[FormControl::kTxtConfigFilePath].left, margin);
    QCOMPARE(l[FormControl::kTxtConfigFilePath].width, contentWidth);
    QCOMPARE(l[FormControl::kCmdQuit].left, contentWidth - 975);
  }

  // Only the rich-text box's height and the top margin follow the height;
  // everything below the rich-text box moves with its bottom edge.
  void tallerWindow_data() {
    QTest::addColumn<double>("fh");
    QTest::addColumn<double>("taller");
    QTest::newRow("7200 to 9000") << 7200.0 << 9000.0;
    QTest::newRow("6930 to 12000") << 6930.0 << 12000.0;
    QTest::newRow("0 to 300") << 0.0 << 300.0;
  }
  void tallerWindow() {
    QFETCH(double, fh);
    QFETCH(double, taller);
    const FormLayout a = LayOutForm(9000, fh, DesignLayout());
    const FormLayout b = LayOutForm(9000, taller, DesignLayout());
    const double d = taller - fh;
    for (std::size_t i = 0; i < kFormControlCount; ++i) {
      const auto c = static_cast<FormControl>(i);
      const QByteArray name(ControlName(c).data(), static_cast<qsizetype>(ControlName(c).size()));
      const ControlRect& ra = a.rects[i];
      const ControlRect& rb = b.rects[i];
      QVERIFY2(ra.left == rb.left && ra.width == rb.width, name);
      const double grow = c == FormControl::kRichTextBox1 ? d * 0.3 : 0;
      QVERIFY2(qFuzzyCompare(rb.height - ra.height + 1, grow + 1), name);
      const bool below = i > static_cast<std::size_t>(FormControl::kRichTextBox1);
      const double shift = d / 30 + (below ? d * 0.3 : 0);
      QVERIFY2(std::abs((rb.top - ra.top) - shift) < 1e-6, name);
    }
  }

  // Login boxes start two label widths right of the margin; Help widens with
  // the window, Export and Quit keep their widths.
  void widerWindow_data() {
    QTest::addColumn<double>("fw");
    QTest::newRow("9000") << 9000.0;
    QTest::newRow("12345") << 12345.0;
    QTest::newRow("20000") << 20000.0;
  }
  void widerWindow() {
    QFETCH(double, fw);
    const FormLayout l = LayOutForm(fw, 7200, DesignLayout());
    const double margin = std::nearbyint(fw / 20);
    QCOMPARE(l[FormControl::kTxtUserName].left, margin + 2 * (fw * 0.1));
    QCOMPARE(l[FormControl::kTxtPassword].left, margin + 2 * (fw * 0.1));
    QCOMPARE(l[FormControl::kTxtUserName].width, fw * 0.2);
    QCOMPARE(l[FormControl::kCmdHelp].width, fw * 0.1);
    QCOMPARE(l[FormControl::kCmdExport].width, 1095.0);
    QCOMPARE(l[FormControl::kCmdQuit].width, 975.0);
    QCOMPARE(l[FormControl::kCmdQuit].left + 975, std::nearbyint(fw * 0.8));
  }

  // Four label heights, whatever the size; nothing negative but Quit's left.
  void smallAndOddWindows_data() {
    QTest::addColumn<double>("fw");
    QTest::addColumn<double>("fh");
    QTest::addColumn<bool>("quitLeftNegative");
    QTest::newRow("zero") << 0.0 << 0.0 << true;
    QTest::newRow("minimised") << 480.0 << 90.0 << true;
    QTest::newRow("W 960 below Quit") << 1200.0 << 500.0 << true;
    QTest::newRow("W 975 equals Quit") << 1219.0 << 500.0 << false;
    QTest::newRow("huge") << 30000.0 << 20000.0 << false;
  }
  void smallAndOddWindows() {
    QFETCH(double, fw);
    QFETCH(double, fh);
    QFETCH(bool, quitLeftNegative);
    const FormLayout l = LayOutForm(fw, fh, DesignLayout());
    QCOMPARE(l[FormControl::kTxtCurrFileName].height, 4 * 255.0);
    QCOMPARE(l[FormControl::kCmdQuit].left < 0, quitLeftNegative);
    for (const ControlRect& r : l.rects) {
      QVERIFY(r.width >= 0);
      QVERIFY(r.height >= 0);
      QVERIFY(r.top >= 0);
    }
  }

  // The rule reads the label height as it stands, not the design value.
  void currentFileBoxFollowsLabelHeight() {
    FormLayout current = DesignLayout();
    current[FormControl::kLblUserName].height = 240;
    QCOMPARE(LayOutForm(9000, 7200, current)[FormControl::kTxtCurrFileName].height, 960.0);
  }

  void twipsPerPixel() {
    QCOMPARE(corvanne::ui::TwipsPerPixel(96), 15.0);
    QCOMPARE(corvanne::ui::TwipsPerPixel(120), 12.0);
  }
};

QTEST_APPLESS_MAIN(LayoutTest)
#include "layout_test.moc"
