// The readout: the date line and the time line in seven-segment glyphs.
#pragma once

#include <windows.h>

#include <cstdint>

// Glyph cell size in the strip "LCD_08X13", pixels.
constexpr uint16_t CharWidth = 8;
constexpr uint16_t CharHeight = 13;

// Draws both lines from TimeFields and SecondCounter into `target`, or, when `target` is
// 0, into MainWindow's own device context. Everything it creates is released before it
// returns; GlyphStrip is left loaded.
void DrawReadout(HDC target);
