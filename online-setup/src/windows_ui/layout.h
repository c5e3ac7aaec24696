// The window's geometry on its 600 x 440 design grid of logical units at
// 96 DPI, and the conversion of logical units to pixels. Pure functions and
// constants, any thread.
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
int32_t scale_for_dpi(double value, uint32_t system_dpi);

// The rectangle with each edge scaled: right and bottom are the scaled sums
// x + width and y + height, not sums of scaled values.
PixelRect scale_edges(const LogicalRect& rect, uint32_t system_dpi);

// True when a release at client pixel (x, y) lies on the main button: at or
// after its scaled left and top edges and before its scaled right and bottom.
bool hits_main_button(uint32_t x, uint32_t y, uint32_t system_dpi);

// Windows only: the system DPI (GetDpiForSystem), read afresh at each call.
uint32_t system_dpi();

// Windows only: scale_for_dpi with the system DPI read at this call.
int32_t scale(double value);

}  // namespace quarvel
