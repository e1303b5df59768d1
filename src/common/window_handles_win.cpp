#include "common/window_handles_win.h"

HWND MainWindow = 0;
HBITMAP GlyphStrip = 0;
