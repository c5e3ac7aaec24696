// The window's half of the state it shares with the worker: the install
// location typed or picked by the user, when it was last edited, whether the
// user is still editing (also from another window), the preview flag and when
// Done was first seen.
// Written by the window thread, read by the worker's countdown, always under
// its own mutex; where SharedStatus is held too, SharedStatus is taken first.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace quarvel {

// The places the keyboard focus stops at, in Tab order. The main button is
// painted: the focus is on it while the main window itself has the focus.
enum class FocusStop { kLocationBox, kBrowseButton, kMainButton };

struct WindowState {
  std::mutex mutex;
  std::string install_dir;               // the location box's text, trimmed
  std::chrono::nanoseconds last_edit{};  // monotonic time of the last box notification
  std::optional<std::chrono::nanoseconds> finished_at;  // first timer tick that saw Done
  bool preview = false;  // "--preview": the window never starts a run
  bool editing = false;  // the box has the focus or the folder dialog is open
  // While the window is inactive: the stop that had the keyboard focus when it
  // was deactivated, given back when it is activated again. The location box
  // here means the user left mid-edit (to copy a path, say) and is still
  // editing.
  std::optional<FocusStop> focus_when_deactivated;
};

// Creates the process's window state on the first call and returns it; later
// calls discard their values and return the existing record. Window thread.
WindowState& create_window_state(std::string install_dir,
                                 bool preview,
                                 std::chrono::nanoseconds now);

// The process's window state. Only valid once create_window_state has run.
WindowState& window_state();

}  // namespace quarvel
