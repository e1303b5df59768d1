// Keeping the window on a monitor when it is placed from the saved settings.
#pragma once

#include <cstdint>

#include "common/window_geometry.h"

// Pulls `geometry` back onto a screen area (a monitor's work area in screen pixels; its
// left and top may be negative): first off the bottom and right edges, then off the top
// and left ones, so that a window larger than the area ends at its top-left corner. Width
// and height are never changed; any stored values are safe.
void KeepWindowOnScreen(WindowGeometryRecord* geometry, int32_t screen_left, int32_t screen_top,
                        int32_t screen_width, int32_t screen_height);

// A rectangle in screen pixels, right and bottom exclusive, as the platform's RECT holds one.
struct ScreenRectRecord {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};

// The rectangle `geometry` covers, to find the monitor it is on: the far edges are summed in
// 64 bits and cut to what 32 bits hold, so that stored extremes cannot overflow; a width or
// height below zero gives an empty rectangle at the window's corner.
ScreenRectRecord FindWindowRect(const WindowGeometryRecord& geometry);
