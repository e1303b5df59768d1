#include "app/placement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

TEST(PlacementTest, WindowIsKeptOnTheVirtualScreen) {
  const WindowGeometryRecord kScreen = {0, 0, 1024, 768};
  // Two monitors: 1280 by 1024 left of the primary and 200 pixels higher.
  const WindowGeometryRecord kWide = {-1280, -200, 2304, 1024};
  struct Case {
    const char* name;
    WindowGeometryRecord screen;
    WindowGeometryRecord stored;
    int32_t left;
    int32_t top;
  };
  const Case kCases[] = {
      {"on the screen", kScreen, {20, 20, 100, 50}, 20, 20},
      {"off the right and bottom", kScreen, {2000, 760, 100, 50}, 924, 718},
      {"off the left and top", kScreen, {-50, -3, 100, 50}, 0, 0},
      {"larger than the screen", kScreen, {500, 500, 2000, 1000}, 0, 0},
      {"off the right and bottom of both", kWide, {1000, 800, 100, 50}, 924, 774},
      {"smallest place", kScreen, {INT32_MIN, INT32_MIN, 100, 50}, 0, 0},
      {"largest size", kScreen, {20, 20, INT32_MAX, INT32_MAX}, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WindowGeometryRecord geometry = c.stored;
    KeepWindowOnScreen(&geometry, c.screen.Left, c.screen.Top, c.screen.Width, c.screen.Height);
    EXPECT_EQ(std::tie(geometry.Left, geometry.Top), std::tie(c.left, c.top));
  }
}

TEST(PlacementTest, WindowRectangleIsCutToThirtyTwoBits) {
  struct Case {
    WindowGeometryRecord stored;
    ScreenRectRecord expected;
  };
  const Case kCases[] = {
      {{20, 20, 100, 50}, {20, 20, 120, 70}},
      {{2147483000, 0, 1000, 0}, {2147483000, 0, INT32_MAX, 0}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN, -1, -1}},
      {{20, 20, -100, -50}, {20, 20, 20, 20}},  // empty, at the corner
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.stored.Left << ", " << c.stored.Width);
    const ScreenRectRecord rect = FindWindowRect(c.stored);
    EXPECT_EQ(std::tie(rect.Left, rect.Top, rect.Right, rect.Bottom),
              std::tie(c.expected.Left, c.expected.Top, c.expected.Right, c.expected.Bottom));
  }
}
