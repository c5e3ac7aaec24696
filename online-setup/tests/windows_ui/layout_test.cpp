#include "windows_ui/layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace quarvel {
namespace {

TEST(Scale, MultipliesByTheSystemDpiOver96RoundingHalfAwayFromZero) {
  const struct {
    double value;
    uint32_t dpi;
    int32_t expected;
  } cases[] = {
      {600, 96, 600},   {440, 96, 440}, {600, 144, 900}, {440, 144, 660}, {12, 144, 18},
      {-12, 144, -18},  {1, 120, 1},    {2, 120, 3},     {-2, 120, -3},   {6, 120, 8},
      {475, 144, 713},  {0.5, 96, 1},   {-0.5, 96, -1},  {0.49, 96, 0},   {600, 97, 606},
      {600, 192, 1200}, {600, 0, 600},  {600, 72, 600},  {600, 96, 600},  {23, 144, 35},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scale_for_dpi(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
  }
}

TEST(Scale, ClampsToTheInt32RangeAndMapsNotANumberToZero) {
  constexpr auto kMax = std::numeric_limits<int32_t>::max();
  constexpr auto kMin = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(scale_for_dpi(1e12, 96), kMax);
  EXPECT_EQ(scale_for_dpi(-1e12, 144), kMin);
  EXPECT_EQ(scale_for_dpi(kMax, 192), kMax);
  EXPECT_EQ(scale_for_dpi(std::numeric_limits<double>::infinity(), 96), kMax);
  EXPECT_EQ(scale_for_dpi(std::nan(""), 144), 0);
}

TEST(Scale, ControlsScaleEachValueAndEdgesScaleTheSums) {
  // The location box at 144 DPI: (48, 507), 645 x 45.
  EXPECT_EQ(scale_for_dpi(kLocationBoxRect.x, 144), 48);
  EXPECT_EQ(scale_for_dpi(kLocationBoxRect.y, 144), 507);
  EXPECT_EQ(scale_for_dpi(kLocationBoxRect.width, 144), 645);
  EXPECT_EQ(scale_for_dpi(kLocationBoxRect.height, 144), 45);
  // 1.25 rounds down twice, 2.5 rounds up once: right is not left + width.
  const PixelRect edges = scale_edges({1, 1, 1, 1}, 120);
  EXPECT_EQ(edges.left, 1);
  EXPECT_EQ(edges.right, 3);
  EXPECT_EQ(edges.bottom, 3);
  const PixelRect button = scale_edges(kMainButtonRect, 144);
  EXPECT_EQ(button.left, 713);
  EXPECT_EQ(button.top, 573);
  EXPECT_EQ(button.right, 852);
  EXPECT_EQ(button.bottom, 621);
}

TEST(MainButtonHit, CountsTheLeftAndTopEdgesButNotTheRightAndBottom) {
  const struct {
    uint32_t x, y, dpi;
    bool hit;
  } cases[] = {
      {475, 382, 96, true},   {567, 413, 96, true},   {520, 400, 96, true},
      {568, 400, 96, false},  {520, 414, 96, false},  {474, 400, 96, false},
      {520, 381, 96, false},  {568, 414, 96, false},  {713, 573, 144, true},
      {851, 620, 144, true},  {712, 600, 144, false}, {852, 600, 144, false},
      {800, 621, 144, false}, {475, 382, 144, false}, {65535, 65535, 96, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hits_main_button(c.x, c.y, c.dpi), c.hit) << c.x << "," << c.y << " at " << c.dpi;
  }
}

TEST(WindowPlacement, TheLayoutDpiIsLoweredUntilTheWindowFitsItsWorkArea) {
  const PixelRect frame96{-3, -26, 3, 3};
  const PixelRect frame192{-6, -52, 6, 6};
  const struct {
    const char* screen;
    uint32_t dpi;
    PixelRect frame;
    int32_t width, height;
    PixelRect work;
    uint32_t layout_dpi;
    PixelRect outer;
  } cases[] = {
      {"fits: centred on the screen",
       96,
       frame96,
       1024,
       768,
       {0, 0, 1024, 768},
       96,
       {209, 149, 815, 618}},
      {"fits at 144", 144, frame96, 1366, 768, {0, 0, 1366, 768}, 144, {230, 39, 1136, 728}},
      // 155 DPI: a client of 969 x 710 under a 52-pixel caption, the full height.
      {"192 on 1366 x 768", 192, frame192, 1366, 768, {0, 0, 1366, 768}, 155, {192, 0, 1173, 768}},
      {"a taskbar below", 192, frame192, 1366, 768, {0, 0, 1366, 728}, 146, {220, 1, 1145, 728}},
      {"a taskbar above", 192, frame192, 1366, 768, {0, 40, 1366, 768}, 146, {220, 40, 1145, 767}},
      {"too small even at 96: the caption stays on screen",
       96,
       frame96,
       600,
       400,
       {0, 0, 600, 400},
       96,
       {0, 0, 606, 469}},
      {"a DPI below 96 is the design size",
       72,
       frame96,
       1024,
       768,
       {0, 0, 1024, 768},
       72,
       {209, 149, 815, 618}},
  };
  for (const auto& c : cases) {
    const WindowPlacement p = place_window(c.dpi, c.frame, c.width, c.height, c.work);
    EXPECT_EQ(p.layout_dpi, c.layout_dpi) << c.screen;
    EXPECT_EQ((std::array{p.outer.left, p.outer.top, p.outer.right, p.outer.bottom}),
              (std::array{c.outer.left, c.outer.top, c.outer.right, c.outer.bottom}))
        << c.screen;
  }
}

TEST(WindowPlacement, TheFittedClientAreaIsTheLargestThatFits) {
  const PixelRect frame{-6, -52, 6, 6};
  for (int32_t height = 500; height <= 1000; height += 7) {
    const WindowPlacement p = place_window(192, frame, 1920, height, {0, 0, 1920, height});
    const int32_t client = scale_for_dpi(440, p.layout_dpi);
    EXPECT_LE(client + 58, height) << height;
    if (p.layout_dpi < 192 && p.layout_dpi > 96)
      EXPECT_GT(scale_for_dpi(440, p.layout_dpi + 1) + 58, height) << height;
    EXPECT_GE(p.outer.top, 0) << height;
  }
}

}  // namespace
}  // namespace quarvel
