// The placement rule with any stored place and size and any virtual screen: the size is
// kept, and a window that fits on the screen ends on it; one too large, at its left or top.
#include <cstdlib>
#include <cstring>

#include "app/placement.h"

namespace {

bool IsPlaced(int64_t start, int64_t length, int64_t screen_start, int64_t screen_length) {
  return length > screen_length
             ? start == screen_start
             : start >= screen_start && start + length <= screen_start + screen_length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  WindowGeometryRecord stored;
  WindowGeometryRecord screen;
  if (size != sizeof stored + sizeof screen) {
    return 0;
  }
  std::memcpy(&stored, data, sizeof stored);
  std::memcpy(&screen, data + sizeof stored, sizeof screen);
  WindowGeometryRecord placed = stored;
  KeepWindowOnScreen(&placed, screen.Left, screen.Top, screen.Width, screen.Height);
  if (placed.Width != stored.Width || placed.Height != stored.Height ||
      !IsPlaced(placed.Left, placed.Width, screen.Left, screen.Width) ||
      !IsPlaced(placed.Top, placed.Height, screen.Top, screen.Height)) {
    std::abort();
  }
  return 0;
}
