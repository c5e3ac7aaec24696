// Scoped owners of the GDI and user32 handles the window draws with: each is
// released when its owner goes out of scope, in reverse order of creation.
// Window thread.
#pragma once

#include <windows.h>

namespace quarvel::win32 {

// Owns a handle and releases it when destroyed.
template <class Handle, auto release>
class ScopedHandle {
 public:
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_ != nullptr)
      release(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

// A font, brush or bitmap; it must be selected out of every device context
// before it is deleted.
template <class Handle>
using GdiObject = ScopedHandle<Handle, DeleteObject>;

// A memory device context (CreateCompatibleDC).
using MemoryDc = ScopedHandle<HDC, DeleteDC>;

// An icon loaded with LoadImageW.
using IconHandle = ScopedHandle<HICON, DestroyIcon>;

// Selects an object into a device context and selects the previous one back
// when destroyed. SelectObject hands the object to the context for drawing
// only: ownership stays with its ScopedHandle (or the system, for stock
// objects), which must outlive the selection; the previous object returns to
// the context, whose owner it always was.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR)
      SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint and EndPaint of one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace quarvel::win32
