#include "app/placement.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

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
      {"defaults", kScreen, {20, 20, 100, 50}, 20, 20},
      {"off the right", kScreen, {2000, 20, 100, 50}, 924, 20},
      {"off the bottom", kScreen, {20, 760, 100, 50}, 20, 718},
      {"just inside", kScreen, {924, 718, 100, 50}, 924, 718},
      {"off the left", kScreen, {-50, 20, 100, 50}, 0, 20},
      {"off the top", kScreen, {20, -3, 100, 50}, 20, 0},
      {"larger than the screen", kScreen, {500, 500, 2000, 1000}, 0, 0},
      {"zero size", kScreen, {1030, 770, 0, 0}, 1024, 768},
      {"on the other monitor", kWide, {-1000, -150, 100, 50}, -1000, -150},
      {"off its left and top", kWide, {-1300, -201, 100, 50}, -1280, -200},
      {"off its right and bottom", kWide, {1000, 800, 100, 50}, 924, 774},
      {"larger than both", kWide, {0, 0, 3000, 2000}, -1280, -200},
      {"largest place", kScreen, {INT32_MAX, INT32_MAX, 100, 50}, 924, 718},
      {"smallest place", kScreen, {INT32_MIN, INT32_MIN, 100, 50}, 0, 0},
      {"largest size", kScreen, {20, 20, INT32_MAX, INT32_MAX}, 0, 0},
      {"smallest size", kScreen, {20, 20, INT32_MIN, INT32_MIN}, 20, 20},
      {"largest size off the left",
       kWide,
       {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
       -1280,
       -200},
      {"smallest size far right",
       kScreen,
       {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN},
       INT32_MAX,
       INT32_MAX},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WindowGeometryRecord geometry = c.stored;
    KeepWindowOnScreen(&geometry, c.screen.Left, c.screen.Top, c.screen.Width, c.screen.Height);
    EXPECT_EQ(geometry.Left, c.left);
    EXPECT_EQ(geometry.Top, c.top);
    EXPECT_EQ(geometry.Width, c.stored.Width);
    EXPECT_EQ(geometry.Height, c.stored.Height);
  }
}

}  // namespace
