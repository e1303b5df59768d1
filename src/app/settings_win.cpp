#include "app/settings_win.h"

#include <windows.h>

#include <cstdint>

#include "app/decimal.h"
#include "common/window_geometry.h"

namespace {

// Room for any number a person would store, and then some: what does not fit is cut.
constexpr DWORD kValueSize = 64;

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
  // Read as text: GetProfileIntA gives 0 for a value below zero, and a window left of or
  // above the primary monitor has one.
  for (const Setting& setting : kSettings) {
    char value[kValueSize];
    GetProfileStringA(kSettingsSection, setting.Key, "", value, kValueSize);
    WindowGeometry.*setting.Field = ParseProfileInt(value, setting.Default);
  }
}

void SaveSettings() {
  for (const Setting& setting : kSettings) {
    char decimal[kDecimalSize];
    FormatDecimal(WindowGeometry.*setting.Field, decimal);
    WriteProfileStringA(kSettingsSection, setting.Key, decimal);
  }
}
