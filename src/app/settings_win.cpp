#include "app/settings_win.h"

#include <windows.h>

#include <cstdint>

#include "app/decimal.h"
#include "common/window_geometry.h"

namespace {

constexpr char kSection[] = "DCF 77 DECODER";

struct Setting {
  const char* Key;
  int32_t WindowGeometryRecord::*Field;
  int32_t Default;
};

constexpr Setting kSettings[] = {
    {"X", &WindowGeometryRecord::Left, 20},
    {"Y", &WindowGeometryRecord::Top, 20},
    {"W", &WindowGeometryRecord::Width, 100},
    {"H", &WindowGeometryRecord::Height, 50},
};

}  // namespace

void LoadSettings() {
  for (const Setting& setting : kSettings) {
    WindowGeometry.*setting.Field =
        static_cast<int32_t>(GetProfileIntA(kSection, setting.Key, setting.Default));
  }
}

void SaveSettings() {
  for (const Setting& setting : kSettings) {
    char decimal[kDecimalSize];
    FormatDecimal(WindowGeometry.*setting.Field, decimal);
    WriteProfileStringA(kSection, setting.Key, decimal);
  }
}
