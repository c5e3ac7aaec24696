// The main window's procedure. Window thread.
#pragma once

#include <windows.h>

namespace quarvel::win32 {

// Paints, handles the controls' notifications, the main button (click,
// Enter, Space, its accessible default action), the 100 ms timer, close
// requests and screen readers' requests for the client object.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Called by the message loop for every message before the dialog navigation
// (which would consume Enter before the procedure could see it, and knows
// nothing of the main button): notes where Enter and Space go down, and
// moves the focus on Tab and Shift+Tab through the location box, the browse
// button and the main button. True when the message is consumed.
bool pre_translate(HWND window, const MSG& message);

}  // namespace quarvel::win32
