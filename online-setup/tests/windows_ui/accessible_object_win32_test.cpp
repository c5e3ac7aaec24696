// The accessible object of the real window procedure under Wine: once the
// window is destroyed, a client that still holds the object gets
// CO_E_OBJNOTCONNECTED from every call, not answers about a window that is
// gone.
#include <oleacc.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "windows_ui/accessible_object_win32.h"
#include "windows_ui/window_proc_win32.h"
#include "windows_ui/window_state.h"

namespace quarvel {
namespace {

using win32::child_variant;

TEST(AccessibleObject, AnswersNoCallOnceItsWindowIsDestroyed) {
  create_window_state("D:\\Quarvel", true, std::chrono::nanoseconds{0});
  const win32::ComApartment apartment;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = win32::window_proc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QuarvelAccessibleObjectTest";
  ASSERT_NE(RegisterClassW(&window_class), 0);
  const HWND window =
      CreateWindowExW(0, window_class.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 440,
                      nullptr, nullptr, window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  IAccessible* object = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&object)),
            S_OK);
  long count = 0;
  EXPECT_EQ(object->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 14);

  DestroyWindow(window);
  constexpr HRESULT kGone = CO_E_OBJNOTCONNECTED;
  BSTR text = nullptr;
  VARIANT out;
  IDispatch* dispatch = nullptr;
  long left = 0, top = 0, width = 0, height = 0;
  for (const long id : {0L, 3L, 11L, 14L}) {
    EXPECT_EQ(object->get_accName(child_variant(id), &text), kGone) << id;
    EXPECT_EQ(object->get_accValue(child_variant(id), &text), kGone) << id;
    EXPECT_EQ(object->get_accRole(child_variant(id), &out), kGone) << id;
    EXPECT_EQ(object->get_accState(child_variant(id), &out), kGone) << id;
    EXPECT_EQ(object->get_accDefaultAction(child_variant(id), &text), kGone) << id;
    EXPECT_EQ(object->accLocation(&left, &top, &width, &height, child_variant(id)), kGone) << id;
    EXPECT_EQ(object->accNavigate(NAVDIR_NEXT, child_variant(id), &out), kGone) << id;
    EXPECT_EQ(object->accDoDefaultAction(child_variant(id)), kGone) << id;
    EXPECT_EQ(object->get_accChild(child_variant(id), &dispatch), kGone) << id;
  }
  EXPECT_EQ(object->get_accChildCount(&count), kGone);
  EXPECT_EQ(object->get_accParent(&dispatch), kGone);
  EXPECT_EQ(object->get_accFocus(&out), kGone);
  EXPECT_EQ(object->accHitTest(10, 10, &out), kGone);
  EXPECT_EQ(object->accNavigate(NAVDIR_FIRSTCHILD, child_variant(CHILDID_SELF), &out), kGone);
  object->Release();
}

}  // namespace
}  // namespace quarvel
