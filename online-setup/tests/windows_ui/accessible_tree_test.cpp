#include "windows_ui/accessible_tree.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarvel {
namespace {

// Child ids (index + 1) of the elements whose content follows the state.
constexpr int kHeadline = 3;
constexpr int kFirstStage = 5;
constexpr int kProgress = 8;
constexpr int kStatus = 9;
constexpr int kButton = 14;

const AccessibleElement& child(const std::vector<AccessibleElement>& elements, int id) {
  return elements.at(id - 1);
}

// "text NAME", "stage NAME", "progress VALUE", "button NAME" or "control ID".
std::string described(const AccessibleElement& e) {
  if (e.control_id != 0)
    return "control " + std::to_string(e.control_id);
  switch (e.role) {
    case AccessibleRole::kStaticText:
      return "text " + e.name;
    case AccessibleRole::kListItem:
      return "stage " + e.name;
    case AccessibleRole::kProgressBar:
      return "progress " + e.value;
    case AccessibleRole::kPushButton:
      return "button " + e.name;
  }
  return "?";
}

TEST(AccessibleTree, ListsThePaintedElementsAndTheControlsInReadingOrder) {
  const std::vector<AccessibleElement> elements =
      accessible_elements({.text = "正在下载", .percent = 50, .running = true});
  std::string got;
  for (const AccessibleElement& e : elements)
    got += described(e) + "|";
  EXPECT_EQ(
      got,
      "text Quarvel|text 1.02|text 正在为你准备 Quarvel。|"
      "text 下载完成后自动安装并打开，可在下方更改安装位置。|stage 下载|stage 校验|stage 安装|"
      "progress 50%|text 正在下载|text 安装位置|control 10|control 11|"
      "text 重装与升级会保留文档、最近文件、星标和设置。|button 暂停|");
  EXPECT_TRUE(elements.back().presses_main_button);
  EXPECT_EQ(elements.back().rect, kMainButtonRect);
  EXPECT_EQ(location_box_name(), "安装位置");
}

// What a listener hears of the state-dependent elements.
struct Heard {
  std::string headline;
  std::vector<uint32_t> stages;
  std::string percent;
  std::string button;
  bool button_unavailable;

  bool operator==(const Heard&) const = default;
};

Heard heard(const std::vector<AccessibleElement>& elements) {
  Heard h{.headline = child(elements, kHeadline).name,
          .stages = {},
          .percent = child(elements, kProgress).value,
          .button = child(elements, kButton).name,
          .button_unavailable = (child(elements, kButton).state & kStateUnavailable) != 0};
  for (int i = 0; i < 3; ++i)
    h.stages.push_back(child(elements, kFirstStage + i).state);
  return h;
}

TEST(AccessibleTree, EachStateHasItsHeadlineStagesProgressStatusAndButton) {
  constexpr uint32_t done = kStateChecked, current = kStateSelected, waiting = kStateUnavailable;
  const struct {
    const char* state;
    PaintSnapshot snapshot;
    Heard expected;
  } cases[] = {
      {"preview",
       {.text = "预览", .preview = true},
       {"正在为你准备 Quarvel。", {current, waiting, waiting}, "0%", "预览", true}},
      {"downloading",
       {.text = "下载中", .percent = 50, .running = true},
       {"正在为你准备 Quarvel。", {current, waiting, waiting}, "50%", "暂停", false}},
      {"countdown",
       {.text = "倒计时", .percent = 94, .running = true},
       {"正在为你准备 Quarvel。", {done, current, waiting}, "94%", "暂停", false}},
      {"installing",
       {.text = "安装", .percent = 96, .running = true, .installing = true},
       {"即将就绪，正在安装。", {done, done, current}, "96%", "安装中", true}},
      {"stopped",
       {.text = "已暂停", .percent = 30},
       {"下载已暂停。", {current, waiting, waiting}, "30%", "继续", false}},
      {"done",
       {.text = "完成了", .percent = 100, .finished = true},
       {"准备好了，开始你的工作。", {done, done, done}, "100%", "完成", false}},
  };
  for (const auto& c : cases) {
    const std::vector<AccessibleElement> elements = accessible_elements(c.snapshot);
    EXPECT_EQ(heard(elements), c.expected) << c.state;
    EXPECT_EQ(child(elements, kStatus).name, c.snapshot.text) << c.state;
  }
}

TEST(AccessibleTree, ChangesAreTheNamesValuesAndStatesThatDiffer) {
  using K = AccessibleChangeKind;
  const PaintSnapshot downloading{.text = "正在下载 1.0 MB", .percent = 50, .running = true};
  PaintSnapshot further = downloading;
  further.percent = 51;
  further.text = "正在下载 1.1 MB";
  const PaintSnapshot paused{.text = "下载已暂停", .percent = 51};
  const PaintSnapshot installing{.percent = 96, .running = true, .installing = true};
  const auto changes = [](const PaintSnapshot& a, const PaintSnapshot& b) {
    return accessible_changes(accessible_elements(a), accessible_elements(b));
  };
  EXPECT_EQ(changes(downloading, downloading), std::vector<AccessibleChange>{});
  EXPECT_EQ(changes(downloading, further),
            (std::vector<AccessibleChange>{{K::kValue, kProgress}, {K::kName, kStatus}}));
  EXPECT_EQ(changes(further, paused),
            (std::vector<AccessibleChange>{
                {K::kName, kHeadline}, {K::kName, kStatus}, {K::kName, kButton}}));
  EXPECT_EQ(changes(paused, installing),
            (std::vector<AccessibleChange>{{K::kName, kHeadline},
                                           {K::kState, kFirstStage},
                                           {K::kState, kFirstStage + 1},
                                           {K::kState, kFirstStage + 2},
                                           {K::kValue, kProgress},
                                           {K::kName, kStatus},
                                           {K::kName, kButton},
                                           {K::kState, kButton}}));
  EXPECT_EQ(accessible_changes({}, accessible_elements(paused)), std::vector<AccessibleChange>{});
}

TEST(AccessibleTree, TheMainButtonIsFocusableAndFocusedWithTheMainWindow) {
  const std::vector<AccessibleElement> before = accessible_elements({.running = true});
  const std::vector<AccessibleElement> focused =
      accessible_elements({.running = true, .look = {.main_button_focused = true}});
  EXPECT_EQ(child(before, kButton).state, kStateFocusable);
  EXPECT_EQ(child(focused, kButton).state, kStateFocusable | kStateFocused) << "cues or not";
  EXPECT_EQ(focused_child(before), std::nullopt);
  EXPECT_EQ(focused_child(focused), kButton);
}

TEST(AccessibleTree, NavigationFollowsTheChildList) {
  using K = Navigation::Kind;
  constexpr int kNext = 5, kPrevious = 6, kFirstChild = 7, kLastChild = 8;
  EXPECT_EQ(navigate(kFirstChild, 0, kButton), (Navigation{K::kChild, 1}));
  EXPECT_EQ(navigate(kLastChild, 0, kButton), (Navigation{K::kChild, kButton}));
  for (int id = 1; id <= kButton; ++id) {
    const Navigation next = id < kButton ? Navigation{K::kChild, id + 1} : Navigation{K::kNone};
    const Navigation previous = id > 1 ? Navigation{K::kChild, id - 1} : Navigation{K::kNone};
    EXPECT_EQ(navigate(kNext, id, kButton), next);
    EXPECT_EQ(navigate(kPrevious, id, kButton), previous);
    EXPECT_EQ(navigate(kFirstChild, id, kButton), Navigation{K::kNone}) << "no grandchildren";
  }
  EXPECT_EQ(navigate(kNext, 0, kButton), Navigation{K::kFromWindow}) << "among its siblings";
  EXPECT_EQ(navigate(kNext, kButton + 1, kButton), Navigation{K::kInvalid});
}

TEST(AccessibleTree, HitTestingFindsTheElementUnderAScaledPoint) {
  const std::vector<AccessibleElement> elements = accessible_elements({.running = true});
  EXPECT_EQ(accessible_child_at(elements, 475, 382, 96), kButton);
  EXPECT_EQ(accessible_child_at(elements, 567, 413, 96), kButton);
  EXPECT_EQ(accessible_child_at(elements, 568, 398, 96), std::nullopt);
  EXPECT_EQ(accessible_child_at(elements, 713, 573, 144), kButton);
  EXPECT_EQ(accessible_child_at(elements, 713, 572, 144), std::nullopt);
  EXPECT_EQ(accessible_child_at(elements, 200, 353, 96), 11) << "the location box";
  EXPECT_EQ(accessible_child_at(elements, 300, 88, 96), std::nullopt);
}

}  // namespace
}  // namespace quarvel
