// What a timer tick does about the picture: the client area is invalidated
// only when the snapshot differs from the one last painted (so every change
// still appears within one tick, and an idle window paints nothing), and what
// changed for a screen reader since the last tick is announced. Only a paint
// of the whole client area counts as painting a snapshot. Window thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "windows_ui/accessible_tree.h"
#include "windows_ui/layout.h"
#include "windows_ui/paint_plan.h"

namespace quarvel {

// The part of the client area a paint is asked to draw: the bounding box of
// its update region, and whether the region is that rectangle alone.
struct UpdateArea {
  PixelRect box;
  bool rectangular = true;
};

// True when a paint of `area` reaches every pixel of a client area of
// `width` x `height`. A paint of less (another window uncovering a strip)
// leaves the rest of the window showing whatever it showed before.
bool covers_client_area(const UpdateArea& area, int32_t width, int32_t height);

class WindowRefresh {
 public:
  // Painting drew this snapshot over the whole client area.
  void painted(const PaintSnapshot& snapshot) { painted_ = snapshot; }

  struct Tick {
    bool repaint = false;  // invalidate the client area
    std::vector<AccessibleChange> announce = {};
  };

  // A timer tick that took `snapshot`: repaint when nothing was painted yet or
  // the picture would differ; the accessible changes since the last tick
  // (none on the first).
  Tick tick(const PaintSnapshot& snapshot);

 private:
  std::optional<PaintSnapshot> painted_;
  std::optional<PaintSnapshot> last_tick_;
};

}  // namespace quarvel
