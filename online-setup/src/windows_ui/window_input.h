// The decisions behind the window procedure and the folder picker: what a
// press of the main button, a control notification, a timer tick or a close
// request does to the shared state, and what the window must do about it.
// Window thread only. Locks are taken briefly, SharedStatus before
// WindowState, and none is held on return.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runner/run_status.h"
#include "windows_ui/window_state.h"

namespace quarvel {

// Notification codes of the two controls (high word of WM_COMMAND's wParam).
inline constexpr uint32_t kButtonClicked = 0x0000;
inline constexpr uint32_t kEditSetFocus = 0x0100;
inline constexpr uint32_t kEditKillFocus = 0x0200;
inline constexpr uint32_t kEditChange = 0x0300;

// What the window has to do after a decision.
enum class WindowEffect {
  kNothing,
  kDestroyWindow,
  kStartWorker,
  kPickFolder,
  kFocusMainWindow,
};

// What a press of the main button does in a state of the window.
enum class MainButtonAction { kClose, kPause, kContinue, kNothing };

// Done closes the window, a running run is paused, a stopped run continues
// unless in preview; while installing (and in preview) nothing happens. Pure.
MainButtonAction main_button_action(bool running, bool installing, bool finished, bool preview);

// The main button (click or Enter/Space) as main_button_action decides: the
// pause sets pause_requested here, closing and continuing are the window's.
WindowEffect press_main_button(SharedStatus& status,
                               WindowState& window,
                               std::atomic<bool>& pause_requested);

// True for the keys that act as the main button: Enter (13) and Space (32).
bool is_main_button_key(uintptr_t virtual_key);

// Enter and Space press the main button when they are released, but only
// when the same key also went down on the main window: the Enter that
// confirms the folder dialog goes down in the dialog and comes up in the main
// window once the focus has returned, and must not pause the run.
class MainButtonKeys {
 public:
  // A key went down; `on_main_window` when the main window had the focus. An
  // auto-repeat (`repeat`) belongs to the press where the key first went
  // down: Enter held in the location box goes on repeating on the main window
  // once the box has handed the focus back.
  void key_down(uintptr_t virtual_key, bool on_main_window, bool repeat = false);
  // A key came up on the main window: true when it presses the main button.
  bool key_up(uintptr_t virtual_key);
  // Forgets a pending press (a dialog is about to take the keyboard).
  void forget() { pressed_ = 0; }

 private:
  uintptr_t pressed_ = 0;
};

// Where Tab (Shift+Tab when `backwards`) moves the focus from `current`
// (nullopt: none of the three has it): location box, browse button, main
// button and around. The two controls are passed over while disabled; the
// main button is always a stop.
FocusStop next_focus_stop(std::optional<FocusStop> current, bool backwards, bool controls_enabled);

// A WM_COMMAND from control `id` (10 location box, 11 browse button). Ignored
// once the location is accepted or installing. The browse button's click sets editing and asks for
// the folder picker. Every notification of the box sets last_edit to `now`; focus in and out set
// and clear editing; a change stores the box's text (read through `read_box_text` only then)
// trimmed as install_dir.
WindowEffect on_control_command(SharedStatus& status,
                                WindowState& window,
                                int id,
                                uint32_t notification,
                                std::chrono::nanoseconds now,
                                const std::function<std::u16string()>& read_box_text);

// The control id of IDOK: the dialog navigation turns Enter in the location
// box into WM_COMMAND with this id for the main window.
inline constexpr int kDialogOkId = 1;

// IDOK from the dialog navigation, with the keyboard focus at `focus`. Enter
// in the location box confirms it: the focus goes back to the main window,
// whose focus loss of the box ends the editing and restarts the countdown.
// Enter on the browse button presses it, as a click does. Elsewhere nothing:
// Enter on the main window presses the main button on its key-up.
WindowEffect on_dialog_ok(SharedStatus& status,
                          WindowState& window,
                          std::optional<FocusStop> focus);

// The location box's UTF-16 text as install_dir: invalid units become U+FFFD
// and Unicode white space is trimmed at both ends.
std::string install_dir_from_box_text(std::u16string_view text);

struct TimerEffect {
  bool controls_enabled = true;  // the box and the browse button
  bool destroy_window = false;
};

// A timer tick: the controls are enabled unless the location is accepted,
// installing or finished; after a successful run (outside preview)
// finished_at is taken on the first tick and the window closes once more than
// 1600 whole milliseconds have passed.
TimerEffect on_timer_tick(SharedStatus& status, WindowState& window, std::chrono::nanoseconds now);

// A close request: refused (false) while installing; a running run gets a
// stop request; otherwise the window is to be destroyed (true).
bool on_close_request(SharedStatus& status, std::atomic<bool>& pause_requested);

// The window lost the activation with the keyboard focus at `focus` (what a
// dialog remembers to give back): with the location box, the user is still
// editing while away, and the countdown waits.
void on_window_deactivated(WindowState& window, std::optional<FocusStop> focus);

// The window is activated again: where the keyboard focus goes back to, the
// control it had when deactivated unless that is disabled now, else the main
// window. Ends the editing-while-away; when the focus does not return to the
// box, last_edit becomes `now` as when the focus leaves the box.
FocusStop on_window_activated(WindowState& window,
                              bool controls_enabled,
                              std::chrono::nanoseconds now);

// The folder picker's start and end: editing while the dialog is open, and on
// every way out editing cleared and last_edit set to `now`.
void begin_folder_pick(WindowState& window);
void end_folder_pick(WindowState& window, std::chrono::nanoseconds now);

// The location box text for a folder chosen in the dialog: its path with a
// final "Quarvel" folder; nullopt when the path is not valid UTF-16.
std::optional<std::string> install_dir_from_picked_folder(std::u16string_view path);

}  // namespace quarvel
