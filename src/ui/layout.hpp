// The layout rule of the main window: from the window's outer size and the
// controls' current sizes to where each control goes. Qt-free, in twips.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

namespace corvanne::ui {

// The thirteen controls of frmOptions, in the order the rule places them.
enum class FormControl : std::size_t {
  kLblConfig,
  kTxtConfigFilePath,
  kRichTextBox1,
  kLblDestCaption,
  kLblUserName,
  kTxtUserName,
  kLblPassword,
  kTxtPassword,
  kProgressBar1,
  kTxtCurrFileName,
  kCmdHelp,
  kCmdExport,
  kCmdQuit,
};
inline constexpr std::size_t kFormControlCount = 13;

// The control's object name, e.g. "lblConfig".
std::string_view ControlName(FormControl control);

// One control's place in twips, relative to the client area's top-left corner.
struct ControlRect {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;

  bool operator==(const ControlRect&) const = default;
};

// Where every control stands, indexed by FormControl.
struct FormLayout {
  std::array<ControlRect, kFormControlCount> rects{};

  ControlRect& operator[](FormControl c) { return rects[static_cast<std::size_t>(c)]; }
  const ControlRect& operator[](FormControl c) const { return rects[static_cast<std::size_t>(c)]; }
};

// The design-time places and sizes of the thirteen controls.
FormLayout DesignLayout();

// How the platform stores a coordinate once a control has been moved (for
// instance to whole pixels, back in twips). Empty: stored exactly.
using TwipSnap = std::function<double(double)>;

// Applies the layout rule for an outer window size of `fw` x `fh` twips.
// Sizes the rule keeps (most heights, the Export and Quit widths) come from
// `current`. Each control's four values pass through `snap` right after its
// move, and later steps read them as snapped, so the step order matters.
// Never fails: a tiny or zero window gives overlapping controls, and the
// Quit button's left goes negative when the content width is below its width.
FormLayout LayOutForm(double fw, double fh, const FormLayout& current, const TwipSnap& snap = {});

// Twips per pixel at `dpi` dots per inch (15 at 96 dpi).
double TwipsPerPixel(double dpi);

}  // namespace corvanne::ui
