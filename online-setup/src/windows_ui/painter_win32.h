// The GDI side of painting: executes the drawing operations of the paint plan
// into an off-screen bitmap and copies it to the window in one BitBlt.
// Window thread.
#pragma once

#include <windows.h>

#include "windows_ui/paint_plan.h"

namespace quarvel::win32 {

// Paints the client area for WM_PAINT from `snapshot`, as far as its update
// region reaches; true when that was the whole client area. Failures of GDI
// calls leave parts of the picture undrawn; nothing is reported.
bool paint_window(HWND window, const PaintSnapshot& snapshot);

// A "Microsoft YaHei UI" font with character height `size` logical units
// (scaled now) and the given weight, ClearType quality; the caller owns it.
// nullptr when the font cannot be created.
HFONT create_ui_font(int size, int weight);

}  // namespace quarvel::win32
