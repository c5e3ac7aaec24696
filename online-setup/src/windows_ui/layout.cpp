#include "windows_ui/layout.h"

#include <cmath>
#include <limits>

namespace quarvel {

int32_t scale_for_dpi(double value, uint32_t system_dpi) {
  const double dpi = system_dpi < 97 ? 96.0 : static_cast<double>(system_dpi);
  const double scaled = std::round(value * dpi / 96.0);
  if (std::isnan(scaled))
    return 0;
  if (scaled <= std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  if (scaled >= std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(scaled);
}

PixelRect scale_edges(const LogicalRect& rect, uint32_t system_dpi) {
  return {scale_for_dpi(rect.x, system_dpi), scale_for_dpi(rect.y, system_dpi),
          scale_for_dpi(rect.x + rect.width, system_dpi),
          scale_for_dpi(rect.y + rect.height, system_dpi)};
}

bool hits_main_button(uint32_t x, uint32_t y, uint32_t system_dpi) {
  const PixelRect button = scale_edges(kMainButtonRect, system_dpi);
  const auto within = [](uint32_t v, int32_t low, int32_t high) {
    return static_cast<int64_t>(v) >= low && static_cast<int64_t>(v) < high;
  };
  return within(x, button.left, button.right) && within(y, button.top, button.bottom);
}

}  // namespace quarvel
