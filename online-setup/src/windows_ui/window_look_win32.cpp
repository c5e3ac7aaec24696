#include "windows_ui/window_look_win32.h"

#include <optional>

#include "runner/run_status.h"
#include "windows_ui/window_state.h"

namespace quarvel::win32 {
namespace {

// Window thread only; nullopt while no high-contrast theme is on.
std::optional<SystemColours> g_high_contrast;

uint32_t system_colour(int index) {
  const COLORREF c = GetSysColor(index);
  return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

}  // namespace

void read_system_colours() {
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof(setting);
  if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0) ||
      (setting.dwFlags & HCF_HIGHCONTRASTON) == 0) {
    g_high_contrast.reset();
    return;
  }
  g_high_contrast = SystemColours{.window = system_colour(COLOR_WINDOW),
                                  .window_text = system_colour(COLOR_WINDOWTEXT),
                                  .highlight = system_colour(COLOR_HIGHLIGHT),
                                  .highlight_text = system_colour(COLOR_HIGHLIGHTTEXT),
                                  .grey_text = system_colour(COLOR_GRAYTEXT),
                                  .button_face = system_colour(COLOR_BTNFACE),
                                  .button_text = system_colour(COLOR_BTNTEXT)};
}

PaintSnapshot window_snapshot(HWND window) {
  const auto ui_state = static_cast<DWORD>(SendMessageW(window, WM_QUERYUISTATE, 0, 0));
  const WindowLook look{.main_button_focused = GetFocus() == window,
                        .focus_cues = (ui_state & UISF_HIDEFOCUS) == 0,
                        .high_contrast = g_high_contrast};
  return take_paint_snapshot(shared_status(), window_state(), look);
}

void show_focus_cues(HWND window) {
  // The top-level window passes the change on to the controls.
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

}  // namespace quarvel::win32
