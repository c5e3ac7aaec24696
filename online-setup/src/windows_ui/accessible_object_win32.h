// The window's answers to screen readers (WM_GETOBJECT): an IAccessible for
// the main window's client area whose children are decided by
// accessible_tree, and one for the location box that names it. Window
// thread: the objects live in its single-threaded apartment, and calls from
// other processes arrive through its message loop.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <optional>
#include <vector>

#include "windows_ui/accessible_tree.h"

namespace quarvel::win32 {

// Posted to the main window by the main button's default action; the
// window procedure presses the main button as a click does.
inline constexpr UINT kPressMainButtonMessage = WM_APP + 1;

// A VARIANT naming child `id` of an accessible object (CHILDID_SELF: the
// object itself).
inline VARIANT child_variant(LONG id) {
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = id;
  return child;
}

// The single-threaded COM apartment of the window thread, for its lifetime.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialised_)
      CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

// WM_GETOBJECT for the main window: the result for the client object, or
// nullopt (pass the message to DefWindowProcW) for other object ids and when
// the object cannot be made (oleacc missing, out of memory).
std::optional<LRESULT> answer_get_object(HWND window, WPARAM wparam, LPARAM lparam);

// Gives the location box the accessible name "安装位置" (its painted label),
// keeping everything else of its standard object, by answering its
// WM_GETOBJECT. Does nothing to a null handle.
void name_location_box(HWND box);

// Disconnects every accessible object made for the window and its location
// box, as the window is destroyed: from then on each answers every call with
// CO_E_OBJNOTCONNECTED and touches no window handle.
void disconnect_accessible_objects();

// Raises the focus event of the painted element that has the keyboard focus
// (the main button, once the main window has it), if any.
void announce_focus(HWND window);

// Raises the WinEvents of the client area's changed children (name, value,
// state), so that screen readers read the progress and the result.
void announce(HWND window, const std::vector<AccessibleChange>& changes);

}  // namespace quarvel::win32
