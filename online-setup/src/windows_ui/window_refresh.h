// What a timer tick does about the picture: the client area is invalidated
// only when the snapshot differs from the one last painted (so every change
// still appears within one tick, and an idle window paints nothing), and what
// changed for a screen reader since the last tick is announced. Window thread.
#pragma once

#include <optional>
#include <vector>

#include "windows_ui/accessible_tree.h"
#include "windows_ui/paint_plan.h"

namespace quarvel {

class WindowRefresh {
 public:
  // Painting drew this snapshot.
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
