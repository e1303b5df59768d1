#include "app/placement.h"

void KeepWindowOnScreen(WindowGeometryRecord* geometry, int32_t screen_width,
                        int32_t screen_height) {
  // Compared as sums of the stored values, as they are: settings are not validated.
  if (screen_height < geometry->Top + geometry->Height) {
    geometry->Top = screen_height - geometry->Height;
  }
  if (screen_width < geometry->Left + geometry->Width) {
    geometry->Left = screen_width - geometry->Width;
  }
  if (geometry->Left < 0) {
    geometry->Left = 0;
  }
  if (geometry->Top < 0) {
    geometry->Top = 0;
  }
}
