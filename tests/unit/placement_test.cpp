#include "app/placement.h"

#include <gtest/gtest.h>

#include <cstdint>

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
      {"just inside", kScreen, {924, 718, 100, 50}, 924, 718},
      {"off the right and bottom", kScreen, {2000, 760, 100, 50}, 924, 718},
      {"off the left and top", kScreen, {-50, -3, 100, 50}, 0, 0},
      {"larger than the screen", kScreen, {500, 500, 2000, 1000}, 0, 0},
      {"zero size", kScreen, {1030, 770, 0, 0}, 1024, 768},
      {"off the left and top of both", kWide, {-1300, -201, 100, 50}, -1280, -200},
      {"off the right and bottom of both", kWide, {1000, 800, 100, 50}, 924, 774},
      {"larger than both", kWide, {0, 0, 3000, 2000}, -1280, -200},
      {"largest place", kScreen, {INT32_MAX, INT32_MAX, 100, 50}, 924, 718},
      {"smallest place", kScreen, {INT32_MIN, INT32_MIN, 100, 50}, 0, 0},
      {"largest size", kScreen, {20, 20, INT32_MAX, INT32_MAX}, 0, 0},
      {"smallest size", kScreen, {20, 20, INT32_MIN, INT32_MIN}, 20, 20},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WindowGeometryRecord geometry = c.stored;
    KeepWindowOnScreen(&geometry, c.screen.Left, c.screen.Top, c.screen.Width, c.screen.Height);
    EXPECT_EQ(geometry.Left, c.left);
    EXPECT_EQ(geometry.Top, c.top);
  }
}

TEST(PlacementTest, WindowRectangleIsCutToThirtyTwoBits) {
  struct Case {
    WindowGeometryRecord stored;
    ScreenRectRecord expected;
  };
  const Case kCases[] = {
      {{20, 20, 100, 50}, {20, 20, 120, 70}},
      {{-1280, -200, 100, 50}, {-1280, -200, -1180, -150}},
      {{INT32_MAX, INT32_MAX, 100, 50}, {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}},
      {{2147483000, 0, 1000, 0}, {2147483000, 0, INT32_MAX, 0}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN, -1, -1}},
      {{20, 20, -100, -50}, {20, 20, 20, 20}},  // empty, at the corner
      {{INT32_MIN, 0, INT32_MIN, 0}, {INT32_MIN, 0, INT32_MIN, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.stored.Left << ", " << c.stored.Width);
    const ScreenRectRecord rect = FindWindowRect(c.stored);
    EXPECT_EQ(rect.Left, c.expected.Left);
    EXPECT_EQ(rect.Top, c.expected.Top);
    EXPECT_EQ(rect.Right, c.expected.Right);
    EXPECT_EQ(rect.Bottom, c.expected.Bottom);
  }
}
