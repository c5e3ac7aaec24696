#include "windows_ui/paint_plan.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "windows_ui/window_input.h"

namespace quarvel {
namespace {

constexpr uint32_t kSingleLine = kTextSingleLine;
constexpr uint32_t kMiddle = kTextSingleLine | kTextVCenter;
constexpr uint32_t kCentred = kTextSingleLine | kTextVCenter | kTextCenter;
constexpr uint32_t kRight = kTextSingleLine | kTextRight;
constexpr uint32_t kWrapped = kTextWordBreak;

constexpr int kTrackWidth = 536;
constexpr int kStageSpacing = 178;
constexpr std::array<const char*, 3> kStageLabels = {"下载", "校验", "安装"};

// 3 when finished, 2 when installing, 1 from 90 %, else 0.
int stage(const PaintSnapshot& s) {
  if (s.finished)
    return 3;
  if (s.installing)
    return 2;
  return s.percent >= 90 ? 1 : 0;
}

// The main button has its strong look only when a press would do something
// the user asked for: continue a stopped run or finish.
bool active(const PaintSnapshot& s) {
  return !s.running && !s.installing && !s.preview;
}

// A stopped or failed run: the status text is a warning.
bool warning(const PaintSnapshot& s) {
  return !s.finished && !s.running && !s.preview;
}

struct StateTexts {
  const char* headline;
  const char* button;
};

StateTexts state_texts(const PaintSnapshot& s) {
  if (s.finished)
    return {"准备好了，开始你的工作。", "完成"};
  if (s.installing)
    return {"即将就绪，正在安装。", "安装中"};
  if (s.running)
    return {"正在为你准备 Quarvel。", "暂停"};
  if (s.preview)
    return {"正在为你准备 Quarvel。", "预览"};
  return {"下载已暂停。", "继续"};
}

constexpr auto text = text_operation;
constexpr auto rounded = rounded_rectangle_operation;

LogicalRect inset(const LogicalRect& r, int by) {
  return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
}

// A filled shape; with an edge, a ring of that colour one unit wide around
// the fill.
void add_shape(std::vector<DrawOperation>& ops,
               const LogicalRect& rect,
               int corner,
               uint32_t fill,
               std::optional<uint32_t> edge) {
  if (!edge) {
    ops.push_back(rounded(rect, corner, fill));
    return;
  }
  ops.push_back(rounded(rect, corner, *edge));
  ops.push_back(rounded(inset(rect, 1), std::max(corner - 2, 0), fill));
}

void add_stages(std::vector<DrawOperation>& ops, const Picture& p, const Palette& c) {
  for (int i = 0; i < 3; ++i) {
    const bool reached = i <= p.stage;
    const LogicalRect circle = p.stage_circles[i];
    ops.push_back(rounded(circle, 23, reached ? c.reached : c.unreached_circle));
    ops.push_back(text(circle, reached ? c.on_reached : c.unreached_text, 12, 600, kCentred,
                       std::to_string(i + 1)));
    ops.push_back(text(p.stage_labels[i].rect, reached ? c.primary_text : c.unreached_text, 14,
                       reached ? 600 : 400, kMiddle, p.stage_labels[i].text));
  }
}

void add_progress(std::vector<DrawOperation>& ops, const Picture& p, const Palette& c) {
  add_shape(ops, p.progress_track, 7, c.progress_track, c.track_edge);
  if (p.progress_fill != 0) {
    LogicalRect fill = p.progress_track;
    fill.width = p.progress_fill;
    ops.push_back(rounded(fill, 7, c.reached));
  }
  ops.push_back(text(p.status.rect, p.warning ? c.warning_text : c.secondary_text, 12, 400,
                     kWrapped, p.status.text));
  ops.push_back(text(p.percent.rect, c.accent_text, 15, 600, kRight, p.percent.text));
}

void add_main_button(std::vector<DrawOperation>& ops, const Picture& p, const Palette& c) {
  if (p.focus_ring) {
    ops.push_back(rounded(kFocusRingRect, 12 + 4 * kFocusRingWidth, c.focus_ring));
    ops.push_back(
        rounded(inset(kFocusRingRect, kFocusRingWidth), 12 + 2 * kFocusRingWidth, c.background));
  }
  if (p.button_active) {
    ops.push_back(rounded(p.button.rect, 12, c.active_button));
  } else {
    add_shape(ops, p.button.rect, 12, c.passive_button,
              p.button_available ? c.button_edge : c.unavailable_button_edge);
  }
  const uint32_t label = p.button_active      ? c.active_button_label
                         : p.button_available ? c.passive_button_label
                                              : c.unavailable_button_label;
  ops.push_back(text(p.button.rect, label, 13, 500, kCentred, p.button.text));
}

}  // namespace

DrawOperation text_operation(LogicalRect rect,
                             uint32_t colour,
                             int font_size,
                             int font_weight,
                             uint32_t format,
                             std::string text) {
  return {.kind = DrawKind::kText,
          .rect = rect,
          .colour = colour,
          .font_size = font_size,
          .font_weight = font_weight,
          .format = format,
          .text = std::move(text)};
}

DrawOperation rounded_rectangle_operation(LogicalRect rect, int corner, uint32_t colour) {
  return {.kind = DrawKind::kRoundedRectangle, .rect = rect, .colour = colour, .corner = corner};
}

PaintSnapshot take_paint_snapshot(SharedStatus& status,
                                  WindowState& window,
                                  const WindowLook& look) {
  PaintSnapshot snapshot;
  snapshot.look = look;
  {
    const std::lock_guard lock(status.mutex);
    snapshot.text = status.text;
    snapshot.percent = status.percent;
    snapshot.running = status.running;
    snapshot.installing = status.installing;
    snapshot.finished = status.finished;
  }
  const std::lock_guard lock(window.mutex);
  snapshot.preview = window.preview;
  return snapshot;
}

Picture picture(const PaintSnapshot& s) {
  const StateTexts texts = state_texts(s);
  Picture p{
      .product = {{86, 28, 260, 38}, "Quarvel"},
      .version = {{512, 34, 56, 26}, "1.02"},
      .headline = {{32, 100, 535, 40}, texts.headline},
      .subline = {{32, 146, 535, 27}, "下载完成后自动安装并打开，可在下方更改安装位置。"},
      .stage = stage(s),
      .progress_track = {32, 239, kTrackWidth, 7},
      .progress_fill = static_cast<int>(std::min<uint32_t>(s.percent, 100) * kTrackWidth / 100),
      .percent = {{506, 254, 62, 24}, std::to_string(s.percent) + "%"},
      .status = {{32, 258, 456, 42}, s.text},
      .warning = warning(s),
      .location_label = {{32, 308, 390, 24}, "安装位置"},
      .note = {{32, 387, 420, 26}, "重装与升级会保留文档、最近文件、星标和设置。"},
      .button = {kMainButtonRect, texts.button},
      .button_active = active(s),
      .button_available = main_button_action(s.running, s.installing, s.finished, s.preview) !=
                          MainButtonAction::kNothing,
      .button_focused = s.look.main_button_focused,
      .focus_ring = s.look.main_button_focused && s.look.focus_cues,
  };
  for (int i = 0; i < 3; ++i) {
    p.stage_circles[i] = {32 + kStageSpacing * i, 195, 23, 23};
    p.stage_labels[i] = {{64 + kStageSpacing * i, 195, 90, 25}, kStageLabels[i]};
  }
  return p;
}

std::vector<DrawOperation> paint_operations(const PaintSnapshot& s) {
  const Picture p = picture(s);
  const Palette c = palette(s.look.high_contrast);
  std::vector<DrawOperation> ops;
  ops.push_back({.kind = DrawKind::kIcon, .rect = {32, 28, 42, 42}});
  ops.push_back(text(p.product.rect, c.primary_text, 27, 600, kMiddle, p.product.text));
  ops.push_back(rounded(p.version.rect, 13, c.version_pill));
  ops.push_back(text(p.version.rect, c.accent_text, 13, 500, kCentred, p.version.text));
  ops.push_back(text(p.headline.rect, c.primary_text, 23, 600, kSingleLine, p.headline.text));
  ops.push_back(text(p.subline.rect, c.secondary_text, 14, 400, kSingleLine, p.subline.text));
  add_stages(ops, p, c);
  add_progress(ops, p, c);
  ops.push_back(
      text(p.location_label.rect, c.primary_text, 12, 500, kSingleLine, p.location_label.text));
  ops.push_back(text(p.note.rect, c.note_text, 11, 400, kSingleLine, p.note.text));
  add_main_button(ops, p, c);
  return ops;
}

}  // namespace quarvel
