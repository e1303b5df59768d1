// The program's one window and the glyph strip bitmap it draws from.
#pragma once

#include <windows.h>

// None (0) until the start-up creates the window.
extern HWND MainWindow;
// None (0) until the start-up loads "LCD_08X13"; deleted at the normal end.
extern HBITMAP GlyphStrip;
