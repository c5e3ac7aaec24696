#include "windows_ui/window_refresh.h"

namespace quarvel {

WindowRefresh::Tick WindowRefresh::tick(const PaintSnapshot& snapshot) {
  Tick tick{.repaint = !painted_ || *painted_ != snapshot};
  if (last_tick_ && *last_tick_ != snapshot)
    tick.announce =
        accessible_changes(accessible_elements(*last_tick_), accessible_elements(snapshot));
  last_tick_ = snapshot;
  return tick;
}

}  // namespace quarvel
