// What the main window shows, as a list of drawing operations computed from a
// snapshot of the shared state; the GDI painter only executes the list.
// Pure functions except take_paint_snapshot, which briefly takes the locks
// (SharedStatus, then WindowState). Window thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner/run_status.h"
#include "windows_ui/layout.h"
#include "windows_ui/palette.h"
#include "windows_ui/window_state.h"

namespace quarvel {

// What the window itself adds to the shared state: where the keyboard focus
// is and how the system asks for the window to be drawn.
struct WindowLook {
  bool main_button_focused = false;  // the main window has the keyboard focus
  bool focus_cues = false;  // focus indicators are shown (hidden until the keyboard is used)
  std::optional<SystemColours> high_contrast;  // a high-contrast theme is on: its colours

  bool operator==(const WindowLook&) const = default;
};

// The values a paint depends on, copied under the locks before drawing.
struct PaintSnapshot {
  std::string text;
  uint32_t percent = 0;
  bool running = false;
  bool installing = false;
  bool finished = false;
  bool preview = false;
  WindowLook look = {};

  bool operator==(const PaintSnapshot&) const = default;
};

// Copies the five status fields under the SharedStatus lock, releases it, then
// reads preview under the WindowState lock; `look` is taken as it is.
PaintSnapshot take_paint_snapshot(SharedStatus& status,
                                  WindowState& window,
                                  const WindowLook& look = {});

// A text the picture shows, and where.
struct PictureText {
  LogicalRect rect;
  std::string text;
};

// The parts of the picture that carry meaning, decided from one snapshot:
// painting draws them, the accessible tree describes them.
struct Picture {
  PictureText product;
  PictureText version;
  PictureText headline;
  PictureText subline;
  std::array<LogicalRect, 3> stage_circles = {};
  std::array<PictureText, 3> stage_labels = {};
  int stage = 0;  // stages up to this index are reached; 3 when all are done
  LogicalRect progress_track;
  int progress_fill = 0;  // logical width of the fill; 0 draws none
  PictureText percent;    // the raw percent followed by "%"
  PictureText status;
  bool warning = false;  // a stopped or failed run: the status is a warning
  PictureText location_label;
  PictureText note;
  PictureText button;             // the main button's label on its rectangle
  bool button_active = false;     // the strong look: a press continues or finishes
  bool button_available = false;  // a press does something
  bool button_focused = false;    // it has the keyboard focus
  bool focus_ring = false;        // its focus indicator is drawn
};

Picture picture(const PaintSnapshot& snapshot);

enum class DrawKind {
  kIcon,              // icon resource 1 scaled into the rectangle
  kText,              // text in the rectangle
  kRoundedRectangle,  // a filled rounded rectangle without outline
};

// Text layout flags; the values are DrawTextW's DT_ flags.
enum TextFormat : uint32_t {
  kTextCenter = 0x01,
  kTextRight = 0x02,
  kTextVCenter = 0x04,
  kTextWordBreak = 0x10,
  kTextSingleLine = 0x20,
};

struct DrawOperation {
  DrawKind kind = DrawKind::kText;
  LogicalRect rect;
  uint32_t colour = 0;  // 0xRRGGBB
  int corner = 0;       // rounded rectangles: corner ellipse width and height
  int font_size = 0;    // texts: character height in logical units
  int font_weight = 0;
  uint32_t format = 0;  // texts: TextFormat flags
  std::string text = {};

  bool operator==(const DrawOperation&) const = default;
};

// A text element: rectangle, colour (0xRRGGBB), font size and weight, format.
DrawOperation text_operation(LogicalRect rect,
                             uint32_t colour,
                             int font_size,
                             int font_weight,
                             uint32_t format,
                             std::string text);

// A filled rounded rectangle without outline.
DrawOperation rounded_rectangle_operation(LogicalRect rect, int corner, uint32_t colour);

// The whole picture, in drawing order, over the palette's background.
std::vector<DrawOperation> paint_operations(const PaintSnapshot& snapshot);

// The ring around the main button while it shows the keyboard focus: 2 units
// wide, 2 units off the button, so that it meets only the background.
inline constexpr LogicalRect kFocusRingRect{471, 378, 101, 40};
inline constexpr int kFocusRingWidth = 2;

}  // namespace quarvel
