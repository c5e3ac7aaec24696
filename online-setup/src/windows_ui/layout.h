// The window's geometry on its 600 x 440 design grid of logical units at
// 96 DPI, the conversion of logical units to pixels, and the DPI the window is
// laid out at so that it fits its screen. Pure functions and constants, any
// thread.
#pragma once

#include <cstdint>

namespace quarvel {

struct LogicalRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const LogicalRect&) const = default;
};

// A rectangle in pixels, right and bottom exclusive.
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

inline constexpr LogicalRect kClientArea{0, 0, 600, 440};
inline constexpr LogicalRect kLocationBoxRect{32, 338, 430, 30};
inline constexpr LogicalRect kBrowseButtonRect{475, 338, 93, 30};
// The main button is painted, not a control; the window hit-tests it.
inline constexpr LogicalRect kMainButtonRect{475, 382, 93, 32};

inline constexpr int kLocationBoxId = 10;
inline constexpr int kBrowseButtonId = 11;
// Character height of the two controls' font, in logical units.
inline constexpr int kControlFontSize = 12;

// value x dpi / 96 rounded half away from zero, with any DPI below 97 taken
// as 96; clamped to the int32 range, NaN gives 0.
int32_t scale_for_dpi(double value, uint32_t dpi);

// The rectangle with each edge scaled: right and bottom are the scaled sums
// x + width and y + height, not sums of scaled values.
PixelRect scale_edges(const LogicalRect& rect, uint32_t dpi);

// True when a release at client pixel (x, y) lies on the main button: at or
// after its scaled left and top edges and before its scaled right and bottom.
bool hits_main_button(uint32_t x, uint32_t y, uint32_t dpi);

// Where the main window goes and the DPI its layout is drawn at.
struct WindowPlacement {
  uint32_t layout_dpi = 96;
  PixelRect outer = {};  // the window rectangle, frame and caption included
};

// The window of a 600 x 440 client area at `system_dpi`, with a frame of
// `frame` (the window rectangle of an empty client area: left and top <= 0),
// centred on a screen of `screen_width` x `screen_height`. Where it would not
// fit `work_area`, its layout DPI is lowered until it does (never below 96,
// the design size), so that every element keeps its proportions; the window
// is then moved into the work area, its caption first.
WindowPlacement place_window(uint32_t system_dpi,
                             const PixelRect& frame,
                             int32_t screen_width,
                             int32_t screen_height,
                             const PixelRect& work_area);

// Windows only: the DPI the window's layout is drawn at: the one chosen with
// use_layout_dpi, else the system DPI (GetDpiForSystem) read at this call.
uint32_t layout_dpi();

// Windows only: sets the layout DPI for the rest of the process; the window
// thread calls it once, before the window exists.
void use_layout_dpi(uint32_t dpi);

// Windows only: scale_for_dpi with the layout DPI.
int32_t scale(double value);

}  // namespace quarvel
