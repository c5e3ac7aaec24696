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
  const PixelRect frame{-6, -52, 6, 6};  // at 192 DPI
  const struct {
    uint32_t dpi;
    PixelRect screen, work;
    uint32_t layout_dpi;
    PixelRect outer;
  } cases[] = {
      // Fits: centred on the screen.
      {96, {0, 0, 1024, 768}, {0, 0, 1024, 768}, 96, {206, 135, 818, 633}},
      // 155 DPI: a client area of 969 x 710 (710.4 rounded), the full height with
      // the frame.
      {192, {0, 0, 1366, 768}, {0, 0, 1366, 768}, 155, {192, 0, 1173, 768}},
      {192, {0, 0, 1366, 768}, {0, 0, 1366, 728}, 146, {220, 1, 1145, 728}},    // a taskbar below
      {192, {0, 0, 1366, 768}, {0, 40, 1366, 768}, 146, {220, 40, 1145, 767}},  // and above
      // Too small even at 96 DPI: the caption stays on screen.
      {96, {0, 0, 600, 400}, {0, 0, 600, 400}, 96, {0, 0, 612, 498}},
  };
  for (const auto& c : cases) {
    const WindowPlacement p = place_window(c.dpi, frame, c.screen.right, c.screen.bottom, c.work);
    EXPECT_EQ(p.layout_dpi, c.layout_dpi) << c.work.bottom;
    EXPECT_EQ((std::array{p.outer.left, p.outer.top, p.outer.right, p.outer.bottom}),
              (std::array{c.outer.left, c.outer.top, c.outer.right, c.outer.bottom}))
        << c.work.bottom;
  }
}

}  // namespace
}  // namespace quarvel
