#include "display/face_win.h"

#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/readout_win.h"

namespace {

// Both bevels are two rings deep; the sunken one sits just inside the raised one.
constexpr uint8_t kBevelDepth = 2;
constexpr int kPenWidth = 1;

}  // namespace

void DrawFace(HDC target) {
  const int32_t width = WindowGeometry.Width;
  const int32_t height = WindowGeometry.Height;
  RECT panel;
  SetRect(&panel, 0, 0, width, height);
  FillRect(target, &panel, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawBevel(target, 0, 0, width, height, kBevelDepth, true);
  DrawBevel(target, kBevelDepth, kBevelDepth, width - 2 * kBevelDepth, height - 2 * kBevelDepth,
            kBevelDepth, false);
  DrawReadout(target);
}

void PaintFace() {
  // GetDC(0) would hand out the whole screen.
  if (MainWindow == 0) {
    return;
  }
  HDC context = GetDC(MainWindow);
  DrawFace(context);
  ReleaseDC(MainWindow, context);
}

void DrawBevel(HDC target, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t depth,
               bool raised) {
  // Read at every call, so a change of the colour scheme shows at the next repaint.
  const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
  const int32_t right = x + width - 1;
  const int32_t bottom = y + height - 1;

  // LineTo leaves out its end point, so each edge stops one pixel short of the corner that
  // the other colour's edge owns.
  HPEN topLeftPen = CreatePen(PS_SOLID, kPenWidth, raised ? light : dark);
  HGDIOBJ previousPen = SelectObject(target, topLeftPen);
  for (int32_t ring = 0; ring < depth; ++ring) {
    MoveToEx(target, right - ring, y + ring, NULL);
    LineTo(target, x + ring, y + ring);
    LineTo(target, x + ring, bottom - ring);
  }

  HPEN bottomRightPen = CreatePen(PS_SOLID, kPenWidth, raised ? dark : light);
  SelectObject(target, bottomRightPen);
  DeleteObject(topLeftPen);
  for (int32_t ring = 0; ring < depth; ++ring) {
    MoveToEx(target, x + ring, bottom - ring, NULL);
    LineTo(target, right - ring, bottom - ring);
    LineTo(target, right - ring, y + ring);
  }

  // Where a light edge meets a dark one the rings end in a ragged step; a short diagonal in
  // the face colour cuts those two corners clean.
  HPEN facePen = CreatePen(PS_SOLID, kPenWidth, GetSysColor(COLOR_BTNFACE));
  SelectObject(target, facePen);
  DeleteObject(bottomRightPen);
  MoveToEx(target, right, y, NULL);
  LineTo(target, right - depth, y + depth);
  MoveToEx(target, x, bottom, NULL);
  LineTo(target, x + depth, bottom - depth);

  SelectObject(target, previousPen);
  DeleteObject(facePen);
}
