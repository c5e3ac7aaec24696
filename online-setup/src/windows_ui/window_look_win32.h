// What the window itself adds to the snapshot of the shared state: whether
// the main window (the main button) has the keyboard focus, whether focus
// indicators are shown, and the system's colours while a high-contrast theme
// is on. Window thread.
#pragma once

#include <windows.h>

#include "windows_ui/paint_plan.h"

namespace quarvel::win32 {

// Reads the high-contrast setting (SPI_GETHIGHCONTRAST) and the system
// colours: once before the window is shown, and again whenever the system
// reports a change of either. A failed read counts as no high contrast.
void read_system_colours();

// The snapshot that painting and the accessible tree describe: the shared
// state with the window's look.
PaintSnapshot window_snapshot(HWND window);

// Shows focus indicators in the whole window from now on: the keyboard was
// used to move the focus.
void show_focus_cues(HWND window);

}  // namespace quarvel::win32
