#include "windows_ui/paint_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarvel {
namespace {

constexpr uint32_t kMiddle = kTextSingleLine | kTextVCenter;
constexpr uint32_t kCentred = kTextSingleLine | kTextVCenter | kTextCenter;

constexpr auto text = text_operation;
constexpr auto shape = rounded_rectangle_operation;

TEST(PaintPlan, DrawsEveryElementInOrderWhileDownloading) {
  const PaintSnapshot running{.text = "正在下载 12.0 MB / 40.0 MB", .percent = 50, .running = true};
  const std::vector<DrawOperation> expected = {
      {.kind = DrawKind::kIcon, .rect = {32, 28, 42, 42}},
      text({86, 28, 260, 38}, 0x21302A, 27, 600, kMiddle, "Quarvel"),
      shape({512, 34, 56, 26}, 13, 0xE9F6F2),
      text({512, 34, 56, 26}, 0x0B6B75, 13, 500, kCentred, "1.02"),
      text({32, 100, 535, 40}, 0x21302A, 23, 600, kTextSingleLine, "正在为你准备 Quarvel。"),
      text({32, 146, 535, 27}, 0x697571, 14, 400, kTextSingleLine,
           "下载完成后自动安装并打开，可在下方更改安装位置。"),
      shape({32, 195, 23, 23}, 23, 0x0B6B75),
      text({32, 195, 23, 23}, 0xFFFFFF, 12, 600, kCentred, "1"),
      text({64, 195, 90, 25}, 0x21302A, 14, 600, kMiddle, "下载"),
      shape({210, 195, 23, 23}, 23, 0xEBEFED),
      text({210, 195, 23, 23}, 0x929D99, 12, 600, kCentred, "2"),
      text({242, 195, 90, 25}, 0x929D99, 14, 400, kMiddle, "校验"),
      shape({388, 195, 23, 23}, 23, 0xEBEFED),
      text({388, 195, 23, 23}, 0x929D99, 12, 600, kCentred, "3"),
      text({420, 195, 90, 25}, 0x929D99, 14, 400, kMiddle, "安装"),
      shape({32, 239, 536, 7}, 7, 0xE7EEEA),
      shape({32, 239, 268, 7}, 7, 0x0B6B75),
      text({32, 258, 456, 42}, 0x697571, 12, 400, kTextWordBreak, "正在下载 12.0 MB / 40.0 MB"),
      text({506, 254, 62, 24}, 0x0B6B75, 15, 600, kTextSingleLine | kTextRight, "50%"),
      text({32, 308, 390, 24}, 0x21302A, 12, 500, kTextSingleLine, "安装位置"),
      text({32, 387, 420, 26}, 0x839089, 11, 400, kTextSingleLine,
           "重装与升级会保留文档、最近文件、星标和设置。"),
      shape({475, 382, 93, 32}, 12, 0xF2F6F4),
      text({475, 382, 93, 32}, 0x697571, 13, 500, kCentred, "暂停"),
  };
  const std::vector<DrawOperation> ops = paint_operations(running);
  ASSERT_EQ(ops.size(), expected.size());
  for (size_t i = 0; i < ops.size(); ++i)
    EXPECT_EQ(ops[i], expected[i]) << "element " << i;
}

// The state-dependent parts of the picture.
struct Look {
  std::string headline;
  std::string button;
  bool button_active;
  uint32_t status_colour;
  std::vector<bool> stages_reached;
};

Look look(const std::vector<DrawOperation>& ops) {
  Look result{.headline = ops.at(4).text,
              .button = ops.back().text,
              .button_active = ops.at(ops.size() - 2).colour == 0x0B6B75,
              .status_colour = 0};
  for (int i = 0; i < 3; ++i)
    result.stages_reached.push_back(ops.at(6 + 3 * i).colour == 0x0B6B75);
  for (const DrawOperation& op : ops) {
    if (op.rect.y == 258)
      result.status_colour = op.colour;
  }
  if (result.button_active)
    EXPECT_EQ(ops.back().colour, 0xFFFFFFu);
  return result;
}

TEST(PaintPlan, EachStateHasItsHeadlineStagesStatusColourAndButton) {
  const struct {
    const char* state;
    PaintSnapshot snapshot;
    Look expected;
  } cases[] = {
      {"not started (preview)",
       {.preview = true},
       {"正在为你准备 Quarvel。", "预览", false, 0x697571, {true, false, false}}},
      {"running below 90",
       {.percent = 89, .running = true},
       {"正在为你准备 Quarvel。", "暂停", false, 0x697571, {true, false, false}}},
      {"running from 90",
       {.percent = 90, .running = true},
       {"正在为你准备 Quarvel。", "暂停", false, 0x697571, {true, true, false}}},
      {"installing",
       {.percent = 10, .running = true, .installing = true},
       {"即将就绪，正在安装。", "安装中", false, 0x697571, {true, true, true}}},
      {"stopped early",
       {.percent = 30},
       {"下载已暂停。", "继续", true, 0x9C4D3D, {true, false, false}}},
      {"stopped in the countdown",
       {.percent = 94},
       {"下载已暂停。", "继续", true, 0x9C4D3D, {true, true, false}}},
      {"done",
       {.percent = 100, .finished = true},
       {"准备好了，开始你的工作。", "完成", true, 0x697571, {true, true, true}}},
      {"done in preview",
       {.finished = true, .preview = true},
       {"准备好了，开始你的工作。", "完成", false, 0x697571, {true, true, true}}},
  };
  for (const auto& c : cases) {
    const Look got = look(paint_operations(c.snapshot));
    EXPECT_EQ(got.headline, c.expected.headline) << c.state;
    EXPECT_EQ(got.button, c.expected.button) << c.state;
    EXPECT_EQ(got.button_active, c.expected.button_active) << c.state;
    EXPECT_EQ(got.status_colour, c.expected.status_colour) << c.state;
    EXPECT_EQ(got.stages_reached, c.expected.stages_reached) << c.state;
  }
}

TEST(PaintPlan, TheFillIsClampedButThePercentTextIsRaw) {
  const struct {
    uint32_t percent;
    int fill;  // 0: no fill drawn
    const char* label;
  } cases[] = {{0, 0, "0%"},     {1, 5, "1%"},       {50, 268, "50%"},
               {99, 530, "99%"}, {100, 536, "100%"}, {250, 536, "250%"}};
  for (const auto& c : cases) {
    const std::vector<DrawOperation> ops =
        paint_operations({.percent = c.percent, .running = true});
    int fill = 0;
    std::string label;
    for (const DrawOperation& op : ops) {
      if (op.kind == DrawKind::kRoundedRectangle && op.rect.y == 239 && op.colour == 0x0B6B75) {
        fill = op.rect.width;
      }
      if (op.rect.x == 506)
        label = op.text;
    }
    EXPECT_EQ(fill, c.fill) << c.percent;
    EXPECT_EQ(label, c.label) << c.percent;
    EXPECT_EQ(ops.size(), c.fill == 0 ? 22u : 23u) << c.percent;
  }
}

// The colours of the operations drawn at `rect`, in drawing order.
std::vector<uint32_t> colours_at(const std::vector<DrawOperation>& ops, const LogicalRect& rect) {
  std::vector<uint32_t> colours;
  for (const DrawOperation& op : ops) {
    if (op.rect == rect)
      colours.push_back(op.colour);
  }
  return colours;
}

TEST(PaintPlan, TheFocusRingShowsOnlyWithTheFocusAndItsCues) {
  for (const bool focused : {false, true}) {
    for (const bool cues : {false, true}) {
      const std::vector<DrawOperation> ops = paint_operations(
          {.running = true, .look = {.main_button_focused = focused, .focus_cues = cues}});
      const size_t shown = focused && cues ? 1 : 0;
      EXPECT_EQ(colours_at(ops, kFocusRingRect), std::vector<uint32_t>(shown, 0x0B6B75));
      EXPECT_EQ(colours_at(ops, {473, 380, 97, 36}), std::vector<uint32_t>(shown, 0xFFFFFF));
    }
  }
  // 2 units of teal (6.2:1 on white), then 2 units of gap to the button.
  EXPECT_EQ(kFocusRingRect.x + 2 * kFocusRingWidth, kMainButtonRect.x);
}

TEST(PaintPlan, InHighContrastEveryElementTakesASystemColour) {
  // Window 1, window text 2, highlight 3, highlight text 4, grey text 5,
  // button face 6, button text 7.
  const WindowLook look{
      .main_button_focused = true, .focus_cues = true, .high_contrast = {{1, 2, 3, 4, 5, 6, 7}}};
  const struct {
    const char* state;
    PaintSnapshot snapshot;
    std::vector<uint32_t> button;  // at its rectangle: the edge (or the fill), then the label
    std::vector<uint32_t> circles;
  } cases[] = {
      {"preview", {.preview = true}, {5, 5}, {3, 6, 6}},
      {"running", {.percent = 50, .running = true}, {7, 7}, {3, 6, 6}},
      {"installing", {.percent = 96, .running = true, .installing = true}, {5, 5}, {3, 3, 3}},
      {"stopped", {.text = "失败", .percent = 30}, {3, 4}, {3, 6, 6}},
      {"done", {.percent = 100, .finished = true}, {3, 4}, {3, 3, 3}},
  };
  for (auto c : cases) {
    c.snapshot.look = look;
    const std::vector<DrawOperation> ops = paint_operations(c.snapshot);
    for (const DrawOperation& op : ops) {
      EXPECT_TRUE(op.kind == DrawKind::kIcon || (op.colour >= 1 && op.colour <= 7))
          << c.state << " at " << op.rect.x << "," << op.rect.y;
    }
    EXPECT_EQ(colours_at(ops, kMainButtonRect), c.button) << c.state;
    std::vector<uint32_t> circles;
    for (int i = 0; i < 3; ++i)
      circles.push_back(colours_at(ops, {32 + 178 * i, 195, 23, 23}).at(0));
    EXPECT_EQ(circles, c.circles) << c.state;
    EXPECT_EQ(colours_at(ops, kFocusRingRect), std::vector<uint32_t>{2}) << c.state;
  }
}

TEST(PaintSnapshot, CopiesTheStatusAndThePreviewFlag) {
  SharedStatus status;
  status.text = "文本";
  status.percent = 92;
  status.running = status.installing = status.finished = true;
  WindowState window;
  window.preview = true;
  const PaintSnapshot s = take_paint_snapshot(status, window);
  EXPECT_EQ(s.text, "文本");
  EXPECT_EQ(s.percent, 92u);
  EXPECT_TRUE(s.running && s.installing && s.finished && s.preview);
}

}  // namespace
}  // namespace quarvel
