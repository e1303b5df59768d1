#include "app/placement.h"

#include <gtest/gtest.h>

namespace {

TEST(PlacementTest, WindowIsKeptOnA1024By768Screen) {
  struct Case {
    const char* name;
    WindowGeometryRecord stored;
    int32_t left;
    int32_t top;
  };
  const Case kCases[] = {
      {"defaults", {20, 20, 100, 50}, 20, 20},
      {"off the right", {2000, 20, 100, 50}, 924, 20},
      {"off the bottom", {20, 760, 100, 50}, 20, 718},
      {"just inside", {924, 718, 100, 50}, 924, 718},
      {"off the left", {-50, 20, 100, 50}, 0, 20},
      {"off the top", {20, -3, 100, 50}, 20, 0},
      {"wider and taller than the screen", {500, 500, 2000, 1000}, 0, 0},
      {"zero size", {1030, 770, 0, 0}, 1024, 768},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WindowGeometryRecord geometry = c.stored;
    KeepWindowOnScreen(&geometry, 1024, 768);
    EXPECT_EQ(geometry.Left, c.left);
    EXPECT_EQ(geometry.Top, c.top);
    EXPECT_EQ(geometry.Width, c.stored.Width);
    EXPECT_EQ(geometry.Height, c.stored.Height);
  }
}

}  // namespace
