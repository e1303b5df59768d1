// The placement rule with any stored place and size and any virtual screen: the size is
// kept, and a window that fits on the screen ends on it; one too large, at its left or top.
#include <cstdlib>
#include <cstring>

#include "app/placement.h"

static bool IsPlaced(int64_t start, int64_t length, int64_t screen_start, int64_t screen_length) {
  return length > screen_length
             ? start == screen_start
             : start >= screen_start && start + length <= screen_start + screen_length;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  int32_t v[8];  // the stored left, top, width and height, then the screen's
  if (size != sizeof v) {
    return 0;
  }
  std::memcpy(v, data, sizeof v);
  WindowGeometryRecord placed = {v[0], v[1], v[2], v[3]};
  KeepWindowOnScreen(&placed, v[4], v[5], v[6], v[7]);
  if (placed.Width != v[2] || placed.Height != v[3] || !IsPlaced(placed.Left, v[2], v[4], v[6]) ||
      !IsPlaced(placed.Top, v[3], v[5], v[7])) {
    std::abort();
  }
  return 0;
}
