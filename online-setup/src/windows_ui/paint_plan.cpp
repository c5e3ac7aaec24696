#include "windows_ui/paint_plan.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace quarvel {
namespace {

constexpr uint32_t kPrimaryText = 0x21302A;
constexpr uint32_t kAccent = 0x0B6B75;
constexpr uint32_t kVersionPill = 0xE9F6F2;
constexpr uint32_t kSecondaryText = 0x697571;
constexpr uint32_t kNoteText = 0x839089;
constexpr uint32_t kWarningText = 0x9C4D3D;
constexpr uint32_t kUnreachedCircle = 0xEBEFED;
constexpr uint32_t kUnreachedText = 0x929D99;
constexpr uint32_t kProgressTrack = 0xE7EEEA;
constexpr uint32_t kPassiveButton = 0xF2F6F4;
constexpr uint32_t kWhite = 0xFFFFFF;

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

void add_stages(std::vector<DrawOperation>& ops, const Picture& p) {
  for (int i = 0; i < 3; ++i) {
    const bool reached = i <= p.stage;
    const LogicalRect circle = p.stage_circles[i];
    ops.push_back(rounded(circle, 23, reached ? kAccent : kUnreachedCircle));
    ops.push_back(
        text(circle, reached ? kWhite : kUnreachedText, 12, 600, kCentred, std::to_string(i + 1)));
    ops.push_back(text(p.stage_labels[i].rect, reached ? kPrimaryText : kUnreachedText, 14,
                       reached ? 600 : 400, kMiddle, p.stage_labels[i].text));
  }
}

void add_progress(std::vector<DrawOperation>& ops, const Picture& p) {
  ops.push_back(rounded(p.progress_track, 7, kProgressTrack));
  if (p.progress_fill != 0) {
    LogicalRect fill = p.progress_track;
    fill.width = p.progress_fill;
    ops.push_back(rounded(fill, 7, kAccent));
  }
  ops.push_back(text(p.status.rect, p.warning ? kWarningText : kSecondaryText, 12, 400, kWrapped,
                     p.status.text));
  ops.push_back(text(p.percent.rect, kAccent, 15, 600, kRight, p.percent.text));
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

PaintSnapshot take_paint_snapshot(SharedStatus& status, WindowState& window) {
  PaintSnapshot snapshot;
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
  };
  for (int i = 0; i < 3; ++i) {
    p.stage_circles[i] = {32 + kStageSpacing * i, 195, 23, 23};
    p.stage_labels[i] = {{64 + kStageSpacing * i, 195, 90, 25}, kStageLabels[i]};
  }
  return p;
}

std::vector<DrawOperation> paint_operations(const PaintSnapshot& s) {
  const Picture p = picture(s);
  const bool strong = p.button_active;
  std::vector<DrawOperation> ops;
  ops.push_back({.kind = DrawKind::kIcon, .rect = {32, 28, 42, 42}});
  ops.push_back(text(p.product.rect, kPrimaryText, 27, 600, kMiddle, p.product.text));
  ops.push_back(rounded(p.version.rect, 13, kVersionPill));
  ops.push_back(text(p.version.rect, kAccent, 13, 500, kCentred, p.version.text));
  ops.push_back(text(p.headline.rect, kPrimaryText, 23, 600, kSingleLine, p.headline.text));
  ops.push_back(text(p.subline.rect, kSecondaryText, 14, 400, kSingleLine, p.subline.text));
  add_stages(ops, p);
  add_progress(ops, p);
  ops.push_back(
      text(p.location_label.rect, kPrimaryText, 12, 500, kSingleLine, p.location_label.text));
  ops.push_back(text(p.note.rect, kNoteText, 11, 400, kSingleLine, p.note.text));
  ops.push_back(rounded(p.button.rect, 12, strong ? kAccent : kPassiveButton));
  ops.push_back(
      text(p.button.rect, strong ? kWhite : kSecondaryText, 13, 500, kCentred, p.button.text));
  return ops;
}

}  // namespace quarvel
