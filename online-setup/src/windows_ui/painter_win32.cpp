#include "windows_ui/painter_win32.h"

#include "core/wide_win32.h"
#include "windows_ui/gdi_handles_win32.h"
#include "windows_ui/layout.h"
#include "windows_ui/paint_plan.h"
#include "windows_ui/palette.h"
#include "windows_ui/window_refresh.h"

namespace quarvel::win32 {
namespace {

static_assert(kTextCenter == DT_CENTER && kTextRight == DT_RIGHT && kTextVCenter == DT_VCENTER &&
              kTextWordBreak == DT_WORDBREAK && kTextSingleLine == DT_SINGLELINE);

COLORREF colour_ref(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

RECT pixel_rect(const LogicalRect& rect) {
  const PixelRect edges = scale_edges(rect, layout_dpi());
  return {edges.left, edges.top, edges.right, edges.bottom};
}

void draw_text(HDC dc, const DrawOperation& op) {
  const GdiObject<HFONT> font(create_ui_font(op.font_size, op.font_weight));
  const Selection font_selection(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour_ref(op.colour));
  RECT rect = pixel_rect(op.rect);
  const std::wstring text = widen(op.text);
  DrawTextW(dc, text.c_str(), -1, &rect, op.format | DT_NOPREFIX);
}

void fill_round_rect(HDC dc, const DrawOperation& op) {
  const GdiObject<HBRUSH> brush(CreateSolidBrush(colour_ref(op.colour)));
  const Selection brush_selection(dc, brush.get());
  const Selection pen_selection(dc, GetStockObject(NULL_PEN));
  const RECT rect = pixel_rect(op.rect);
  const int corner = scale(op.corner);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, corner, corner);
}

void draw_icon(HDC dc, const DrawOperation& op) {
  const int width = scale(op.rect.width);
  const int height = scale(op.rect.height);
  const IconHandle icon(static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
  if (icon.get() == nullptr)
    return;
  DrawIconEx(dc, scale(op.rect.x), scale(op.rect.y), icon.get(), width, height, 0, nullptr,
             DI_NORMAL);
}

void draw(HDC dc, const DrawOperation& op) {
  switch (op.kind) {
    case DrawKind::kIcon:
      return draw_icon(dc, op);
    case DrawKind::kText:
      return draw_text(dc, op);
    case DrawKind::kRoundedRectangle:
      return fill_round_rect(dc, op);
  }
}

// What this WM_PAINT is asked to draw, read before BeginPaint validates it;
// an area that cannot be read counts as less than the whole.
UpdateArea update_area(HWND window) {
  const GdiObject<HRGN> region(CreateRectRgn(0, 0, 0, 0));
  RECT box{};
  const int kind = region.get() != nullptr ? GetUpdateRgn(window, region.get(), FALSE) : ERROR;
  if (kind != ERROR)
    GetRgnBox(region.get(), &box);
  return {{box.left, box.top, box.right, box.bottom}, kind == SIMPLEREGION};
}

}  // namespace

HFONT create_ui_font(int size, int weight) {
  return CreateFontW(-scale(size), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei UI");
}

bool paint_window(HWND window, const PaintSnapshot& snapshot) {
  const UpdateArea area = update_area(window);
  const PaintScope paint(window);
  RECT client{};
  GetClientRect(window, &client);
  // Destroyed in reverse: the old bitmap is selected back, then the bitmap
  // and the memory context are deleted, then EndPaint.
  const MemoryDc memory(CreateCompatibleDC(paint.dc()));
  const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(paint.dc(), client.right, client.bottom));
  const Selection bitmap_selection(memory.get(), bitmap.get());
  const GdiObject<HBRUSH> background(
      CreateSolidBrush(colour_ref(palette(snapshot.look.high_contrast).background)));
  FillRect(memory.get(), &client, background.get());
  for (const DrawOperation& op : paint_operations(snapshot))
    draw(memory.get(), op);
  BitBlt(paint.dc(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
  return covers_client_area(area, client.right, client.bottom);
}

}  // namespace quarvel::win32
