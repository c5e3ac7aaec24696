// The window-mode entry: builds the window state, the window and its two
// controls, starts the timer and the worker (or shows the preview text) and
// runs the message loop. Window thread (the entry thread).
#pragma once

namespace quarvel {

// Returns once the window has been destroyed and its message loop has ended,
// or at once when the main window cannot be created. Windows only.
void window_main();

}  // namespace quarvel
