// The system DPI and the scaling of logical units with it. Any thread.
#include <windows.h>

#include "windows_ui/layout.h"

namespace quarvel {

uint32_t system_dpi() {
  return GetDpiForSystem();
}

int32_t scale(double value) {
  return scale_for_dpi(value, system_dpi());
}

}  // namespace quarvel
