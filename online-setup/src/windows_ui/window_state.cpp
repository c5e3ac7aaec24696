#include "windows_ui/window_state.h"

namespace quarvel {
namespace {

WindowState g_window_state;
std::once_flag g_created;

}  // namespace

WindowState& create_window_state(std::string install_dir,
                                 bool preview,
                                 std::chrono::nanoseconds now) {
  std::call_once(g_created, [&] {
    const std::lock_guard lock(g_window_state.mutex);
    g_window_state.install_dir = std::move(install_dir);
    g_window_state.last_edit = now;
    g_window_state.finished_at.reset();
    g_window_state.preview = preview;
    g_window_state.editing = false;
    g_window_state.focus_when_deactivated.reset();
  });
  return g_window_state;
}

WindowState& window_state() {
  return g_window_state;
}

}  // namespace quarvel
