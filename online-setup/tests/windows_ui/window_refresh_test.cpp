#include "windows_ui/window_refresh.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(WindowRefresh, RepaintsOnlyWhenThePictureWouldDifferFromTheOnePainted) {
  WindowRefresh refresh;
  const PaintSnapshot idle{.text = "预览", .preview = true};
  EXPECT_TRUE(refresh.tick(idle).repaint) << "nothing painted yet";
  refresh.painted(idle);
  for (int i = 0; i < 3; ++i)
    EXPECT_FALSE(refresh.tick(idle).repaint);
  PaintSnapshot changed[4] = {idle, idle, idle, idle};
  changed[0].text = "预览 ";
  changed[1].percent = 1;
  changed[2].running = true;
  changed[3].preview = false;
  for (const PaintSnapshot& snapshot : changed)
    EXPECT_TRUE(refresh.tick(snapshot).repaint) << snapshot.text << snapshot.percent;
  EXPECT_FALSE(refresh.tick(idle).repaint) << "back to what was painted";
}

TEST(WindowRefresh, OnlyAPaintOfTheWholeClientAreaPaintsTheSnapshot) {
  const struct {
    UpdateArea area;
    bool whole;
  } cases[] = {
      {{{0, 0, 600, 440}, true}, true},    {{{-5, -5, 700, 500}, true}, true},
      {{{0, 0, 600, 439}, true}, false},   {{{1, 0, 600, 440}, true}, false},
      {{{0, 200, 600, 240}, true}, false},  // an uncovered strip
      {{{0, 0, 600, 440}, false}, false},   // two strips whose box is the whole area
  };
  for (const auto& c : cases)
    EXPECT_EQ(covers_client_area(c.area, 600, 440), c.whole) << c.area.box.top;
}

TEST(WindowRefresh, AnnouncesWhatChangedSinceTheLastTickOnce) {
  WindowRefresh refresh;
  const PaintSnapshot at50{.text = "正在下载", .percent = 50, .running = true};
  PaintSnapshot at51 = at50;
  at51.percent = 51;
  EXPECT_TRUE(refresh.tick(at50).announce.empty()) << "the first tick only looks";
  EXPECT_EQ(refresh.tick(at51).announce,
            (std::vector<AccessibleChange>{{AccessibleChangeKind::kValue, 8}}));
  EXPECT_TRUE(refresh.tick(at51).announce.empty());
}

}  // namespace
}  // namespace quarvel
