// The main window's procedure. Window thread.
#pragma once

#include <windows.h>

namespace quarvel::win32 {

// Paints, handles the controls' notifications, the main button (click,
// Enter, Space, its accessible default action), the 100 ms timer, close
// requests and screen readers' requests for the client object.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Called by the message loop for every WM_KEYDOWN before it is dispatched
// (the dialog navigation consumes Enter before the procedure could see it);
// `repeat` for an auto-repeat (bit 30 of its lParam).
void note_key_down(WPARAM key, bool on_main_window, bool repeat);

}  // namespace quarvel::win32
