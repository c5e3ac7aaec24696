// The accessible object of the real window procedure under Wine: a client
// still holding it once the window is destroyed gets CO_E_OBJNOTCONNECTED.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include "windows_ui/accessible_object_win32.h"
#include "windows_ui/window_proc_win32.h"
#include "windows_ui/window_state.h"

namespace quarvel {
namespace {

TEST(AccessibleObject, AnswersNoCallOnceItsWindowIsDestroyed) {
  create_window_state("D:\\Quarvel", true, std::chrono::nanoseconds{0});
  const win32::ComApartment apartment;
  const WNDCLASSW window_class{.lpfnWndProc = win32::window_proc, .lpszClassName = L"Test"};
  RegisterClassW(&window_class);
  const HWND window =
      CreateWindowExW(0, L"Test", L"", 0, 0, 0, 600, 440, nullptr, nullptr, nullptr, nullptr);
  IAccessible* object = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&object)),
            S_OK);
  long count = 0;
  EXPECT_EQ(object->get_accChildCount(&count), S_OK);
  DestroyWindow(window);
  EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  VARIANT out;
  EXPECT_EQ(object->get_accFocus(&out), CO_E_OBJNOTCONNECTED);
  for (const long id : {0L, 11L, 14L}) {
    BSTR name = nullptr;
    EXPECT_EQ(object->get_accName(win32::child_variant(id), &name), CO_E_OBJNOTCONNECTED) << id;
    EXPECT_EQ(object->accNavigate(NAVDIR_NEXT, win32::child_variant(id), &out),
              CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(object->accDoDefaultAction(win32::child_variant(id)), CO_E_OBJNOTCONNECTED) << id;
  }
  object->Release();
}

}  // namespace
}  // namespace quarvel
