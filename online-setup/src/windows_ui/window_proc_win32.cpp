#include "windows_ui/window_proc_win32.h"

#include <optional>
#include <string>

#include "core/clock.h"
#include "runner/run_status.h"
#include "windows_ui/accessible_object_win32.h"
#include "windows_ui/folder_picker_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/paint_plan.h"
#include "windows_ui/painter_win32.h"
#include "windows_ui/window_input.h"
#include "windows_ui/window_look_win32.h"
#include "windows_ui/window_refresh.h"
#include "windows_ui/window_state.h"
#include "windows_ui/worker.h"

namespace quarvel::win32 {
namespace {

// Window thread only.
MainButtonKeys g_main_button_keys;
WindowRefresh g_refresh;

// Carries out what a decision asks of the window; no lock is held here.
void apply(HWND window, WindowEffect effect) {
  switch (effect) {
    case WindowEffect::kDestroyWindow:
      DestroyWindow(window);
      return;
    case WindowEffect::kStartWorker:
      start_worker(process_worker_context());
      return;
    case WindowEffect::kPickFolder:
      g_main_button_keys.forget();
      pick_install_folder(window);
      return;
    case WindowEffect::kFocusMainWindow:
      SetFocus(window);
      show_focus_cues(window);
      return;
    case WindowEffect::kNothing:
      return;
  }
}

void press_main_button(HWND window) {
  apply(window, quarvel::press_main_button(shared_status(), window_state(), pause_requested()));
}

std::u16string window_text(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
  return std::u16string(text.begin(), text.end());
}

// The window of a focus stop: a control, or the main window for the main button.
HWND stop_window(HWND window, FocusStop stop) {
  switch (stop) {
    case FocusStop::kLocationBox:
      return GetDlgItem(window, kLocationBoxId);
    case FocusStop::kBrowseButton:
      return GetDlgItem(window, kBrowseButtonId);
    case FocusStop::kMainButton:
      break;
  }
  return window;
}

// Which of the three stops has the keyboard focus; nullopt for none.
std::optional<FocusStop> focus_stop(HWND window) {
  const HWND focus = GetFocus();
  if (focus == nullptr)
    return std::nullopt;
  if (focus == window)
    return FocusStop::kMainButton;
  if (focus == GetDlgItem(window, kLocationBoxId))
    return FocusStop::kLocationBox;
  if (focus == GetDlgItem(window, kBrowseButtonId))
    return FocusStop::kBrowseButton;
  return std::nullopt;
}

void on_command(HWND window, WPARAM wparam) {
  const int id = LOWORD(wparam);
  if (id == kDialogOkId) {
    apply(window, on_dialog_ok(shared_status(), window_state(), focus_stop(window)));
    return;
  }
  const auto read_box_text = [window] { return window_text(GetDlgItem(window, kLocationBoxId)); };
  apply(window, on_control_command(shared_status(), window_state(), id, HIWORD(wparam),
                                   system_monotonic_clock().now(), read_box_text));
}

void on_paint(HWND window) {
  const PaintSnapshot snapshot = window_snapshot(window);
  if (paint_window(window, snapshot))
    g_refresh.painted(snapshot);
}

void on_timer(HWND window) {
  const WindowRefresh::Tick tick = g_refresh.tick(window_snapshot(window));
  if (tick.repaint)
    InvalidateRect(window, nullptr, FALSE);
  announce(window, tick.announce);
  const TimerEffect effect =
      on_timer_tick(shared_status(), window_state(), system_monotonic_clock().now());
  // A control about to be disabled hands the focus to the main button, where
  // the keyboard can still reach what is left to do.
  const std::optional<FocusStop> focus = focus_stop(window);
  if (!effect.controls_enabled && focus && *focus != FocusStop::kMainButton)
    SetFocus(window);
  EnableWindow(GetDlgItem(window, kLocationBoxId), effect.controls_enabled);
  EnableWindow(GetDlgItem(window, kBrowseButtonId), effect.controls_enabled);
  if (effect.destroy_window)
    DestroyWindow(window);
}

// Tab and Shift+Tab on the window or its controls.
bool on_tab_key(HWND window, const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB ||
      (message.hwnd != window && !IsChild(window, message.hwnd))) {
    return false;
  }
  const bool backwards = GetKeyState(VK_SHIFT) < 0;
  const bool controls_enabled = IsWindowEnabled(GetDlgItem(window, kLocationBoxId));
  const FocusStop stop = next_focus_stop(focus_stop(window), backwards, controls_enabled);
  // As in a dialog, the text is selected when the box is tabbed into.
  if (stop == FocusStop::kLocationBox)
    SendMessageW(stop_window(window, stop), EM_SETSEL, 0, -1);
  SetFocus(stop_window(window, stop));
  show_focus_cues(window);
  return true;
}

// As a dialog does: the control that had the focus when the window was
// deactivated gets it back when the window is activated, so that a user who
// switched away mid-edit goes on typing in the box. Returns false where
// DefWindowProcW is to handle the message.
bool on_activate(HWND window, WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    // The focus is still on the control here; it leaves it after this message.
    on_window_deactivated(window_state(), focus_stop(window));
    return false;
  }
  if (HIWORD(wparam) != 0)  // activated while minimised: nothing takes the focus
    return false;
  const bool controls_enabled = IsWindowEnabled(GetDlgItem(window, kLocationBoxId));
  const FocusStop stop =
      on_window_activated(window_state(), controls_enabled, system_monotonic_clock().now());
  SetFocus(stop_window(window, stop));
  return true;
}

void on_key_up(HWND window, WPARAM key) {
  if (!g_main_button_keys.key_up(key))
    return;
  if (GetFocus() == GetDlgItem(window, kLocationBoxId)) {
    apply(window, WindowEffect::kFocusMainWindow);
    return;
  }
  press_main_button(window);
}

void on_button_up(HWND window, LPARAM lparam) {
  const auto x = static_cast<uint32_t>(LOWORD(lparam));
  const auto y = static_cast<uint32_t>(HIWORD(lparam));
  if (hits_main_button(x, y, layout_dpi()))
    press_main_button(window);
}

}  // namespace

bool pre_translate(HWND window, const MSG& message) {
  if (message.message == WM_KEYDOWN) {
    const bool repeat = (message.lParam & (1 << 30)) != 0;
    g_main_button_keys.key_down(message.wParam, message.hwnd == window, repeat);
  }
  return on_tab_key(window, message);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      disconnect_accessible_objects();
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      on_paint(window);
      return 0;
    case WM_CLOSE:
      if (on_close_request(shared_status(), pause_requested()))
        DestroyWindow(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_ACTIVATE:
      if (on_activate(window, wparam))
        return 0;
      break;
    case WM_KEYUP:
      if (!is_main_button_key(wparam))
        break;
      on_key_up(window, wparam);
      return 0;
    case WM_COMMAND:
      on_command(window, wparam);
      return 0;
    case WM_TIMER:
      on_timer(window);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(window);
      return 0;
    case WM_LBUTTONUP:
      on_button_up(window, lparam);
      return 0;
    case kPressMainButtonMessage:
      press_main_button(window);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      announce_focus(window);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_UPDATEUISTATE:
      DefWindowProcW(window, message, wparam, lparam);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      // The next timer tick repaints if the colours differ.
      read_system_colours();
      break;
    case WM_GETOBJECT:
      if (const std::optional<LRESULT> object = answer_get_object(window, wparam, lparam))
        return *object;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace quarvel::win32
