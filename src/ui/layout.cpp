// The window's layout rule; see layout.hpp. Every product stays a double:
// only the margin L and the content width W are rounded (half to even).
#include "ui/layout.hpp"

#include <cmath>

namespace corvanne::ui {

namespace {

constexpr std::array<std::string_view, kFormControlCount> kNames = {
    "lblConfig",   "txtConfigFilePath", "RichTextBox1",    "lblDestCaption", "lblUserName",
    "txtUserName", "lblPassword",       "txtPassword",     "ProgressBar1",   "txtCurrFileName",
    "cmdHelp",     "cmdExport",         "cmdQuit",
};

// Half to even under the default rounding mode, as the platform's integer
// conversion does it (409.5 -> 410, 410.5 -> 410).
double RoundHalfEven(double value) { return std::nearbyint(value); }

// Applies one move and keeps what the platform stored.
class Mover {
 public:
  Mover(FormLayout& layout, const TwipSnap& snap) : layout_(layout), snap_(snap) {}

  // Sets left, top and width; the height stays as it stands.
  const ControlRect& Move(FormControl c, double left, double top, double width) {
    return Move(c, left, top, width, layout_[c].height);
  }

  const ControlRect& Move(FormControl c, double left, double top, double width, double height) {
    ControlRect& r = layout_[c];
    r = {Snap(left), Snap(top), Snap(width), Snap(height)};
    return r;
  }

 private:
  double Snap(double v) const { return snap_ ? snap_(v) : v; }

  FormLayout& layout_;    // updated in place, step by step
  const TwipSnap& snap_;  // may be empty
};

}  // namespace

std::string_view ControlName(FormControl control) { return kNames[static_cast<std::size_t>(control)]; }

FormLayout DesignLayout() {
  using C = FormControl;
  FormLayout d;
  d[C::kLblConfig] = {600, 600, 4935, 255};
  d[C::kTxtConfigFilePath] = {600, 960, 6735, 735};
  d[C::kRichTextBox1] = {600, 1800, 6735, 1335};
  d[C::kLblDestCaption] = {600, 3240, 4935, 255};
  d[C::kLblUserName] = {600, 3600, 1815, 255};
  d[C::kTxtUserName] = {2400, 3600, 2175, 375};
  d[C::kLblPassword] = {600, 3960, 1815, 255};
  d[C::kTxtPassword] = {2400, 3960, 2175, 375};
  d[C::kProgressBar1] = {600, 4440, 6735, 255};
  d[C::kTxtCurrFileName] = {600, 4800, 6735, 735};
  d[C::kCmdHelp] = {600, 5640, 1215, 375};
  d[C::kCmdExport] = {3240, 5640, 1095, 375};
  d[C::kCmdQuit] = {6120, 5640, 975, 375};
  return d;
}

FormLayout LayOutForm(double fw, double fh, const FormLayout& current, const TwipSnap& snap) {
  using C = FormControl;
  FormLayout out = current;
  Mover m(out, snap);
  const double L = RoundHalfEven(fw / 20);
  const double W = RoundHalfEven(fw * 0.8);

  const ControlRect& config = m.Move(C::kLblConfig, fw / 20, fh / 30, fw * 0.8);
  const ControlRect& path = m.Move(C::kTxtConfigFilePath, L, config.top + config.height, W);
  const ControlRect& rich = m.Move(C::kRichTextBox1, L, path.top + path.height, W, fh * 0.3);
  // One label height of space above the login caption.
  const double caption_height = out[C::kLblDestCaption].height;
  const ControlRect& caption = m.Move(C::kLblDestCaption, L, rich.top + rich.height + caption_height, W);
  const ControlRect& user_label = m.Move(C::kLblUserName, L, caption.top + caption.height, fw * 0.1);
  const ControlRect& user = m.Move(C::kTxtUserName, user_label.left + 2 * user_label.width, user_label.top, fw * 0.2);
  const ControlRect& password_label = m.Move(C::kLblPassword, L, user.top + user.height, fw * 0.1);
  const ControlRect& password =
      m.Move(C::kTxtPassword, password_label.left + 2 * password_label.width, password_label.top, fw * 0.2);
  const ControlRect& bar = m.Move(C::kProgressBar1, L, password.top + password.height, W);
  const ControlRect& current_file =
      m.Move(C::kTxtCurrFileName, L, bar.top + bar.height, W, 4 * user_label.height);
  // One progress-bar height of space above the buttons.
  const ControlRect& help = m.Move(C::kCmdHelp, L, current_file.top + current_file.height + bar.height, fw * 0.1);
  m.Move(C::kCmdExport, W / 2, help.top, out[C::kCmdExport].width);
  // The Quit button's right edge sits at W from the client's left edge, not at L + W.
  m.Move(C::kCmdQuit, W - out[C::kCmdQuit].width, help.top, out[C::kCmdQuit].width);
  return out;
}

double TwipsPerPixel(double dpi) { return dpi > 0 ? 1440.0 / dpi : 15.0; }

}  // namespace corvanne::ui
