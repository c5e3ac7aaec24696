#include "windows_ui/window_refresh.h"

namespace quarvel {

bool covers_client_area(const UpdateArea& area, int32_t width, int32_t height) {
  return area.rectangular && area.box.left <= 0 && area.box.top <= 0 && area.box.right >= width &&
         area.box.bottom >= height;
}

WindowRefresh::Tick WindowRefresh::tick(const PaintSnapshot& snapshot) {
  Tick tick{.repaint = !painted_ || *painted_ != snapshot};
  if (last_tick_ && *last_tick_ != snapshot)
    tick.announce =
        accessible_changes(accessible_elements(*last_tick_), accessible_elements(snapshot));
  last_tick_ = snapshot;
  return tick;
}

}  // namespace quarvel
