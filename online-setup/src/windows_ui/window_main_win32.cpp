#include "windows_ui/window_main.h"

#include <windows.h>

#include <string>

#include "core/clock.h"
#include "core/file_system.h"
#include "core/process_arguments.h"
#include "core/wide_win32.h"
#include "runner/install_location.h"
#include "runner/install_run.h"
#include "runner/run_status.h"
#include "windows_ui/accessible_object_win32.h"
#include "windows_ui/gdi_handles_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/painter_win32.h"
#include "windows_ui/window_look_win32.h"
#include "windows_ui/window_proc_win32.h"
#include "windows_ui/window_state.h"
#include "windows_ui/worker.h"

namespace quarvel {
namespace {

constexpr wchar_t kClassName[] = L"QuarvelOnlineSetup";
constexpr wchar_t kTitle[] = L"Quarvel · 安装";
// WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN: fixed size.
constexpr DWORD kWindowStyle = 0x02CA0000;
static_assert(kWindowStyle == (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN));
// WS_CHILD | WS_VISIBLE | WS_TABSTOP, plus ES_AUTOHSCROLL for the box.
constexpr DWORD kBoxStyle = 0x50010080;
constexpr DWORD kButtonStyle = 0x50010000;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 100;
constexpr char kPreviewText[] = "预览 · 打开正式安装程序后自动开始下载";

std::string initial_install_dir(const ArgumentList& arguments) {
  if (auto value = switch_value(arguments, "--install-dir"))
    return *value;
  return discover_install_location(system_install_registry(), system_file_system(), system_paths());
}

void register_window_class(HINSTANCE instance) {
  WNDCLASSW window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = win32::window_proc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);
}

// The main window, hidden, with a scaled 600 x 440 client area, centred on
// the primary screen and laid out smaller where it would not fit the primary
// monitor's work area; nullptr when it cannot be created.
HWND create_main_window(HINSTANCE instance) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRect(&frame, kWindowStyle, FALSE);
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYSCREEN);
  RECT work{0, 0, screen_width, screen_height};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const WindowPlacement placement =
      place_window(GetDpiForSystem(), {frame.left, frame.top, frame.right, frame.bottom},
                   screen_width, screen_height, {work.left, work.top, work.right, work.bottom});
  // Every later scale() of the window, its controls and fonts uses it.
  use_layout_dpi(placement.layout_dpi);
  const PixelRect& outer = placement.outer;
  return CreateWindowExW(0, kClassName, kTitle, kWindowStyle, outer.left, outer.top,
                         outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                         instance, nullptr);
}

HWND create_control(HWND parent,
                    HINSTANCE instance,
                    DWORD extended_style,
                    const wchar_t* type,
                    const std::wstring& text,
                    DWORD style,
                    const LogicalRect& rect,
                    int id) {
  return CreateWindowExW(extended_style, type, text.c_str(), style, scale(rect.x), scale(rect.y),
                         scale(rect.width), scale(rect.height), parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

std::string copy_install_dir(WindowState& state) {
  const std::lock_guard lock(state.mutex);
  return state.install_dir;
}

void run_message_loop(HWND window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (win32::pre_translate(window, message) || IsDialogMessageW(window, &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

void window_main() {
  const ArgumentList& arguments = process_arguments();
  const bool preview = has_switch(arguments, "--preview");
  WindowState& state =
      create_window_state(initial_install_dir(arguments), preview, system_monotonic_clock().now());
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE);
  // The window's accessible objects live in this thread's apartment.
  const win32::ComApartment apartment;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  register_window_class(instance);
  const HWND window = create_main_window(instance);
  // Without a window the message loop would never end.
  if (window == nullptr)
    return;
  const HWND box = create_control(window, instance, WS_EX_CLIENTEDGE, L"EDIT",
                                  win32::widen(copy_install_dir(state)), kBoxStyle,
                                  kLocationBoxRect, kLocationBoxId);
  const HWND browse = create_control(window, instance, 0, L"BUTTON", L"浏览…", kButtonStyle,
                                     kBrowseButtonRect, kBrowseButtonId);
  // Deleted after the message loop, once the controls that use it are gone.
  const win32::GdiObject<HFONT> font(win32::create_ui_font(kControlFontSize, FW_NORMAL));
  SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  SendMessageW(browse, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  win32::name_location_box(box);
  win32::read_system_colours();
  // Focus indicators hidden when the program was started with the mouse,
  // shown when with the keyboard.
  SendMessageW(window, WM_CHANGEUISTATE,
               MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  ShowWindow(window, SW_SHOWNORMAL);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
  if (preview) {
    process_run_environment().status.set_status(kPreviewText, 0);
  } else {
    start_worker(process_worker_context());
  }
  run_message_loop(window);
}

}  // namespace quarvel
