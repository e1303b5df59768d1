// The window's place and size in screen pixels, loaded from and saved to the profile.
#pragma once

#include <cstdint>

struct WindowGeometryRecord {
  int32_t Left;
  int32_t Top;
  int32_t Width;
  int32_t Height;
};

// All 0 until the start-up reads the settings; the drag changes Left and Top only.
extern WindowGeometryRecord WindowGeometry;
