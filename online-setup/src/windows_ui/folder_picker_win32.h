// The install-folder picker: the system's folder dialog, modal to the main
// window. Window thread (a single-threaded COM apartment).
#pragma once

#include <windows.h>

namespace quarvel::win32 {

// Shows the folder dialog; a chosen folder, completed with a final "Quarvel"
// folder, becomes the location box's text. Every failure (COM errors, a
// cancelled dialog, a path that is not valid UTF-16) is silent and leaves the
// box unchanged. In every case editing is set while the dialog is open and
// cleared, with last_edit set, at the end; the focus returns to the browse
// button.
void pick_install_folder(HWND window);

}  // namespace quarvel::win32
