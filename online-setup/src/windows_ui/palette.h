// The colours the window is painted in, by what each is used for: the fixed
// palette of its default look, or the system's colours while a high-contrast
// theme is on, so that no painted text or shape keeps a fixed colour that
// the theme's background could swallow. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace quarvel {

// The system colours (GetSysColor) a high-contrast theme sets, 0xRRGGBB.
struct SystemColours {
  uint32_t window = 0;          // COLOR_WINDOW
  uint32_t window_text = 0;     // COLOR_WINDOWTEXT
  uint32_t highlight = 0;       // COLOR_HIGHLIGHT
  uint32_t highlight_text = 0;  // COLOR_HIGHLIGHTTEXT
  uint32_t grey_text = 0;       // COLOR_GRAYTEXT
  uint32_t button_face = 0;     // COLOR_BTNFACE
  uint32_t button_text = 0;     // COLOR_BTNTEXT

  bool operator==(const SystemColours&) const = default;
};

struct Palette {
  uint32_t background;
  uint32_t primary_text;    // product name, headline, reached stage labels, location label
  uint32_t secondary_text;  // subline, status text
  uint32_t note_text;
  uint32_t warning_text;  // the status text of a stopped or failed run
  uint32_t accent_text;   // version, percentage
  uint32_t version_pill;
  uint32_t reached;     // reached stage circles, progress fill
  uint32_t on_reached;  // the numbers in reached circles
  uint32_t unreached_circle;
  uint32_t unreached_text;  // numbers and labels of stages not reached
  uint32_t progress_track;
  uint32_t active_button;  // the strong look: a press continues or finishes
  uint32_t active_button_label;
  uint32_t passive_button;
  uint32_t passive_button_label;
  uint32_t unavailable_button_label;  // a press does nothing
  uint32_t focus_ring;
  // Outlines, drawn only in high contrast, of the shapes whose fill may equal
  // the background there.
  std::optional<uint32_t> track_edge = {};
  std::optional<uint32_t> button_edge = {};
  std::optional<uint32_t> unavailable_button_edge = {};
};

// The fixed palette without `high_contrast`; with it, every colour is one of
// its system colours: window and window text for the page and its texts,
// highlight and highlight text for what is reached or active, grey text for
// what is waiting or unavailable, button face and text for the passive button.
Palette palette(const std::optional<SystemColours>& high_contrast);

}  // namespace quarvel
