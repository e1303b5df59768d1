// The window face: the black panel, its two bevels, and the readout on it.
#pragma once

#include <windows.h>

#include <cstdint>

// Draws the whole face into `target`, a device context of MainWindow's, from
// WindowGeometry's width and height.
void DrawFace(HDC target);

// Repaints the whole of MainWindow through a device context of its own.
void PaintFace();

// Draws `depth` rings of a bevel around the rectangle at (x, y), width by height pixels,
// in the system's 3-D colours: raised (light top-left) or sunken (dark top-left).
void DrawBevel(HDC target, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t depth,
               bool raised);
