// Keeping the window on the screen when it is placed from the saved settings.
#pragma once

#include <cstdint>

#include "common/window_geometry.h"

// Pulls `geometry` back onto the virtual screen (the bounding rectangle of all monitors,
// in screen pixels; its left and top may be negative): first off the bottom and right
// edges, then off the top and left ones, so that a window larger than the screen ends at
// the top-left corner. Width and height are never changed; any stored values are safe.
void KeepWindowOnScreen(WindowGeometryRecord* geometry, int32_t screen_left, int32_t screen_top,
                        int32_t screen_width, int32_t screen_height);
