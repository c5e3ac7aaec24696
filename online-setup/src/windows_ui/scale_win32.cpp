// The layout DPI and the scaling of logical units with it. Any thread.
#include <windows.h>

#include <atomic>

#include "windows_ui/layout.h"

namespace quarvel {
namespace {

// 0 until window_main has placed the window.
std::atomic<uint32_t> g_layout_dpi{0};

}  // namespace

uint32_t layout_dpi() {
  const uint32_t chosen = g_layout_dpi.load();
  return chosen != 0 ? chosen : GetDpiForSystem();
}

void use_layout_dpi(uint32_t dpi) {
  g_layout_dpi.store(dpi);
}

int32_t scale(double value) {
  return scale_for_dpi(value, layout_dpi());
}

}  // namespace quarvel
