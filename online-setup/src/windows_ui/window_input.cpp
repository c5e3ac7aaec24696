#include "windows_ui/window_input.h"

#include <mutex>
#include <utility>

#include "core/utf.h"
#include "windows_ui/install_dir_rules.h"
#include "windows_ui/layout.h"

namespace quarvel {
namespace {

constexpr std::chrono::milliseconds kAutomaticCloseDelay{1600};

struct StatusFlags {
  bool running;
  bool installing;
  bool finished;
  bool location_closed;
};

// The location can no longer change in this run. The status's mutex is held.
bool location_closed(const SharedStatus& status) {
  return status.installing || status.location_accepted;
}

StatusFlags read_flags(SharedStatus& status) {
  const std::lock_guard lock(status.mutex);
  return {status.running, status.installing, status.finished, location_closed(status)};
}

bool is_unicode_white_space(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool is_valid_utf16(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xDC00 && unit <= 0xDFFF)
      return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
        return false;
      ++i;
    }
  }
  return true;
}

WindowEffect on_browse_button(SharedStatus& status, WindowState& window, uint32_t notification) {
  if (notification != kButtonClicked)
    return WindowEffect::kNothing;
  const std::lock_guard status_lock(status.mutex);
  if (location_closed(status))
    return WindowEffect::kNothing;
  const std::lock_guard window_lock(window.mutex);
  window.editing = true;
  return WindowEffect::kPickFolder;
}

void on_location_box(WindowState& window,
                     uint32_t notification,
                     std::chrono::nanoseconds now,
                     const std::function<std::u16string()>& read_box_text) {
  std::optional<std::string> text;
  if (notification == kEditChange)
    text = install_dir_from_box_text(read_box_text());
  const std::lock_guard lock(window.mutex);
  window.last_edit = now;
  if (notification == kEditSetFocus)
    window.editing = true;
  if (notification == kEditKillFocus)
    window.editing = false;
  if (text)
    window.install_dir = std::move(*text);
}

}  // namespace

MainButtonAction main_button_action(bool running, bool installing, bool finished, bool preview) {
  if (finished)
    return MainButtonAction::kClose;
  if (installing)
    return MainButtonAction::kNothing;
  if (running)
    return MainButtonAction::kPause;
  return preview ? MainButtonAction::kNothing : MainButtonAction::kContinue;
}

WindowEffect press_main_button(SharedStatus& status,
                               WindowState& window,
                               std::atomic<bool>& pause_requested) {
  bool preview = false;
  {
    const std::lock_guard lock(window.mutex);
    preview = window.preview;
  }
  // The pause request is stored under the status lock, under which the run
  // looks at it once more as it sets installing: a press either stops the run
  // before the setup starts or finds it installing and does nothing.
  const std::lock_guard lock(status.mutex);
  switch (main_button_action(status.running, status.installing, status.finished, preview)) {
    case MainButtonAction::kClose:
      return WindowEffect::kDestroyWindow;
    case MainButtonAction::kPause:
      pause_requested.store(true);
      return WindowEffect::kNothing;
    case MainButtonAction::kContinue:
      return WindowEffect::kStartWorker;
    case MainButtonAction::kNothing:
      break;
  }
  return WindowEffect::kNothing;
}

bool is_main_button_key(uintptr_t virtual_key) {
  return virtual_key == 13 || virtual_key == 32;
}

void MainButtonKeys::key_down(uintptr_t virtual_key, bool on_main_window, bool repeat) {
  if (is_main_button_key(virtual_key) && !repeat)
    pressed_ = on_main_window ? virtual_key : 0;
}

bool MainButtonKeys::key_up(uintptr_t virtual_key) {
  const bool presses = is_main_button_key(virtual_key) && pressed_ == virtual_key;
  if (presses)
    pressed_ = 0;
  return presses;
}

FocusStop next_focus_stop(std::optional<FocusStop> current, bool backwards, bool controls_enabled) {
  constexpr FocusStop kOrder[] = {FocusStop::kLocationBox, FocusStop::kBrowseButton,
                                  FocusStop::kMainButton};
  constexpr int kStops = 3;
  // From nowhere, Tab starts at the first stop and Shift+Tab at the last.
  int at = current ? static_cast<int>(*current) : (backwards ? 0 : kStops - 1);
  do {
    at = (at + (backwards ? kStops - 1 : 1)) % kStops;
  } while (!controls_enabled && kOrder[at] != FocusStop::kMainButton);
  return kOrder[at];
}

WindowEffect on_control_command(SharedStatus& status,
                                WindowState& window,
                                int id,
                                uint32_t notification,
                                std::chrono::nanoseconds now,
                                const std::function<std::u16string()>& read_box_text) {
  if (read_flags(status).location_closed)
    return WindowEffect::kNothing;
  if (id == kBrowseButtonId)
    return on_browse_button(status, window, notification);
  if (id == kLocationBoxId)
    on_location_box(window, notification, now, read_box_text);
  return WindowEffect::kNothing;
}

WindowEffect on_dialog_ok(SharedStatus& status,
                          WindowState& window,
                          std::optional<FocusStop> focus) {
  if (focus == FocusStop::kLocationBox)
    return WindowEffect::kFocusMainWindow;
  if (focus == FocusStop::kBrowseButton)
    return on_browse_button(status, window, kButtonClicked);
  return WindowEffect::kNothing;
}

std::string install_dir_from_box_text(std::u16string_view text) {
  while (!text.empty() && is_unicode_white_space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && is_unicode_white_space(text.back()))
    text.remove_suffix(1);
  return utf16_to_utf8(text);
}

TimerEffect on_timer_tick(SharedStatus& status, WindowState& window, std::chrono::nanoseconds now) {
  const StatusFlags flags = read_flags(status);
  TimerEffect effect{.controls_enabled = !flags.location_closed && !flags.finished};
  const std::lock_guard lock(window.mutex);
  if (flags.finished && !window.preview) {
    if (!window.finished_at)
      window.finished_at = now;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - *window.finished_at);
    effect.destroy_window = elapsed > kAutomaticCloseDelay;
  }
  return effect;
}

bool on_close_request(SharedStatus& status, std::atomic<bool>& pause_requested) {
  const std::lock_guard lock(status.mutex);
  if (status.installing)
    return false;
  if (status.running)
    pause_requested.store(true);
  return true;
}

void on_window_deactivated(WindowState& window, std::optional<FocusStop> focus) {
  const std::lock_guard lock(window.mutex);
  window.focus_when_deactivated = focus;
}

FocusStop on_window_activated(WindowState& window,
                              bool controls_enabled,
                              std::chrono::nanoseconds now) {
  const std::lock_guard lock(window.mutex);
  const std::optional<FocusStop> remembered = std::exchange(window.focus_when_deactivated, {});
  const bool control = remembered && *remembered != FocusStop::kMainButton;
  const FocusStop focus = control && controls_enabled ? *remembered : FocusStop::kMainButton;
  // Back in the box, its focus notification goes on with the editing; left
  // elsewhere, the editing has ended and the countdown starts again.
  if (remembered == FocusStop::kLocationBox && focus != FocusStop::kLocationBox)
    window.last_edit = now;
  return focus;
}

void begin_folder_pick(WindowState& window) {
  const std::lock_guard lock(window.mutex);
  window.editing = true;
}

void end_folder_pick(WindowState& window, std::chrono::nanoseconds now) {
  const std::lock_guard lock(window.mutex);
  window.editing = false;
  window.last_edit = now;
}

std::optional<std::string> install_dir_from_picked_folder(std::u16string_view path) {
  if (!is_valid_utf16(path))
    return std::nullopt;
  return with_quarvel_folder(utf16_to_utf8(path));
}

}  // namespace quarvel
