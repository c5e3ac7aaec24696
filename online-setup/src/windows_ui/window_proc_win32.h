// The main window's procedure. Window thread.
#pragma once

#include <windows.h>

namespace quarvel::win32 {

// Paints, handles the controls' notifications, the main button (click,
// Enter, Space), the 100 ms timer and close requests.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace quarvel::win32
