#include "windows_ui/palette.h"

namespace quarvel {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kPrimaryText = 0x21302A;
constexpr uint32_t kAccent = 0x0B6B75;
constexpr uint32_t kSecondaryText = 0x697571;

constexpr Palette kFixed{
    .background = kWhite,
    .primary_text = kPrimaryText,
    .secondary_text = kSecondaryText,
    .note_text = 0x839089,
    .warning_text = 0x9C4D3D,
    .accent_text = kAccent,
    .version_pill = 0xE9F6F2,
    .reached = kAccent,
    .on_reached = kWhite,
    .unreached_circle = 0xEBEFED,
    .unreached_text = 0x929D99,
    .progress_track = 0xE7EEEA,
    .active_button = kAccent,
    .active_button_label = kWhite,
    .passive_button = 0xF2F6F4,
    .passive_button_label = kSecondaryText,
    .unavailable_button_label = kSecondaryText,
    // 6.2:1 against the white around it.
    .focus_ring = kAccent,
};

Palette from_system(const SystemColours& c) {
  return {
      .background = c.window,
      .primary_text = c.window_text,
      .secondary_text = c.window_text,
      .note_text = c.window_text,
      .warning_text = c.window_text,
      .accent_text = c.window_text,
      .version_pill = c.window,
      .reached = c.highlight,
      .on_reached = c.highlight_text,
      .unreached_circle = c.button_face,
      .unreached_text = c.grey_text,
      .progress_track = c.window,
      .active_button = c.highlight,
      .active_button_label = c.highlight_text,
      .passive_button = c.button_face,
      .passive_button_label = c.button_text,
      .unavailable_button_label = c.grey_text,
      .focus_ring = c.window_text,
      .track_edge = c.window_text,
      .button_edge = c.button_text,
      .unavailable_button_edge = c.grey_text,
  };
}

}  // namespace

Palette palette(const std::optional<SystemColours>& high_contrast) {
  return high_contrast ? from_system(*high_contrast) : kFixed;
}

}  // namespace quarvel
