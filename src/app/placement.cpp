#include "app/placement.h"

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

}  // namespace

void KeepWindowOnScreen(WindowGeometryRecord* geometry, int32_t screen_left, int32_t screen_top,
                        int32_t screen_width, int32_t screen_height) {
  geometry->Left = KeepSpanOnScreen(geometry->Left, geometry->Width, screen_left, screen_width);
  geometry->Top = KeepSpanOnScreen(geometry->Top, geometry->Height, screen_top, screen_height);
}
