#include "windows_ui/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarvel {

int32_t scale_for_dpi(double value, uint32_t dpi) {
  const double effective = dpi < 97 ? 96.0 : static_cast<double>(dpi);
  const double scaled = std::round(value * effective / 96.0);
  if (std::isnan(scaled))
    return 0;
  if (scaled <= std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  if (scaled >= std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(scaled);
}

PixelRect scale_edges(const LogicalRect& rect, uint32_t dpi) {
  return {scale_for_dpi(rect.x, dpi), scale_for_dpi(rect.y, dpi),
          scale_for_dpi(rect.x + rect.width, dpi), scale_for_dpi(rect.y + rect.height, dpi)};
}

bool hits_main_button(uint32_t x, uint32_t y, uint32_t dpi) {
  const PixelRect button = scale_edges(kMainButtonRect, dpi);
  const auto within = [](uint32_t v, int32_t low, int32_t high) {
    return static_cast<int64_t>(v) >= low && static_cast<int64_t>(v) < high;
  };
  return within(x, button.left, button.right) && within(y, button.top, button.bottom);
}

WindowPlacement place_window(uint32_t system_dpi,
                             const PixelRect& frame,
                             int32_t screen_width,
                             int32_t screen_height,
                             const PixelRect& work_area) {
  const int64_t frame_width = int64_t{frame.right} - frame.left;
  const int64_t frame_height = int64_t{frame.bottom} - frame.top;
  const auto fits = [&](uint32_t dpi) {
    return scale_for_dpi(kClientArea.width, dpi) + frame_width <=
               int64_t{work_area.right} - work_area.left &&
           scale_for_dpi(kClientArea.height, dpi) + frame_height <=
               int64_t{work_area.bottom} - work_area.top;
  };
  WindowPlacement placement{.layout_dpi = system_dpi};
  while (placement.layout_dpi > 96 && !fits(placement.layout_dpi))
    --placement.layout_dpi;
  const int64_t width = scale_for_dpi(kClientArea.width, placement.layout_dpi) + frame_width;
  const int64_t height = scale_for_dpi(kClientArea.height, placement.layout_dpi) + frame_height;
  // Centred on the screen, then moved inside the work area; where it cannot
  // fit, its left and top edges (the caption) stay on screen.
  const auto inside = [](int64_t start, int64_t size, int32_t low, int32_t high) {
    return static_cast<int32_t>(std::max<int64_t>(std::min(start, high - size), low));
  };
  const int32_t x = inside((screen_width - width) / 2, width, work_area.left, work_area.right);
  const int32_t y = inside((screen_height - height) / 2, height, work_area.top, work_area.bottom);
  placement.outer = {x, y, static_cast<int32_t>(x + width), static_cast<int32_t>(y + height)};
  return placement;
}

}  // namespace quarvel
