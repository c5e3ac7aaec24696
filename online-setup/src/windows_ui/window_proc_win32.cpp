#include "windows_ui/window_proc_win32.h"

#include <optional>
#include <string>

#include "core/clock.h"
#include "runner/run_status.h"
#include "windows_ui/accessible_object_win32.h"
#include "windows_ui/folder_picker_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/painter_win32.h"
#include "windows_ui/paint_plan.h"
#include "windows_ui/window_input.h"
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

void on_command(HWND window, WPARAM wparam) {
  const int id = LOWORD(wparam);
  if (id == kDialogOkId) {
    apply(window, on_dialog_ok(GetFocus() == GetDlgItem(window, kLocationBoxId)));
    return;
  }
  const auto read_box_text = [window] { return window_text(GetDlgItem(window, kLocationBoxId)); };
  apply(window, on_control_command(shared_status(), window_state(), id, HIWORD(wparam),
                                   system_monotonic_clock().now(), read_box_text));
}

void on_paint(HWND window) {
  const PaintSnapshot snapshot = take_paint_snapshot(shared_status(), window_state());
  if (paint_window(window, snapshot))
    g_refresh.painted(snapshot);
}

void on_timer(HWND window) {
  const WindowRefresh::Tick tick =
      g_refresh.tick(take_paint_snapshot(shared_status(), window_state()));
  if (tick.repaint)
    InvalidateRect(window, nullptr, FALSE);
  announce(window, tick.announce);
  const TimerEffect effect =
      on_timer_tick(shared_status(), window_state(), system_monotonic_clock().now());
  EnableWindow(GetDlgItem(window, kLocationBoxId), effect.controls_enabled);
  EnableWindow(GetDlgItem(window, kBrowseButtonId), effect.controls_enabled);
  if (effect.destroy_window)
    DestroyWindow(window);
}

void on_key_up(HWND window, WPARAM key) {
  if (!g_main_button_keys.key_up(key))
    return;
  if (GetFocus() == GetDlgItem(window, kLocationBoxId)) {
    SetFocus(window);
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

void note_key_down(WPARAM key, bool on_main_window, bool repeat) {
  g_main_button_keys.key_down(key, on_main_window, repeat);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
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
