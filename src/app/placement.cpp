#include "app/placement.h"

#include <algorithm>

namespace {

// One axis of the rule. Settings are not validated, so the sums of stored values are taken
// in 64 bits; the result lies between `screen_start` and `start`, so it fits 32 bits again.
int32_t KeepSpanOnScreen(int32_t start, int32_t length, int32_t screen_start,
                         int32_t screen_length) {
  const int64_t screen_end = int64_t{screen_start} + screen_length;
  int64_t placed = start;
  if (screen_end < placed + length) {
    placed = screen_end - length;
  }
  if (placed < screen_start) {
    placed = screen_start;
  }
  return static_cast<int32_t>(placed);
}

// The far edge of a span, at least its start and at most what 32 bits hold.
int32_t FindSpanEnd(int32_t start, int32_t length) {
  const int64_t end = std::max(int64_t{start} + length, int64_t{start});
  return static_cast<int32_t>(std::min(end, int64_t{INT32_MAX}));
}

}  // namespace

void KeepWindowOnScreen(WindowGeometryRecord* geometry, int32_t screen_left, int32_t screen_top,
                        int32_t screen_width, int32_t screen_height) {
  geometry->Left = KeepSpanOnScreen(geometry->Left, geometry->Width, screen_left, screen_width);
  geometry->Top = KeepSpanOnScreen(geometry->Top, geometry->Height, screen_top, screen_height);
}

ScreenRectRecord FindWindowRect(const WindowGeometryRecord& geometry) {
  return {geometry.Left, geometry.Top, FindSpanEnd(geometry.Left, geometry.Width),
          FindSpanEnd(geometry.Top, geometry.Height)};
}
