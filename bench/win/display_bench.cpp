// display_bench: the time of one DrawReadout and one PaintFace, in microseconds per call.
// It opens the program's window (caption-less, 100 x 50 at (20, 20)) with the glyph strip
// loaded, and times each drawing over many calls. Run it under Wine as README.md in this
// folder says, or on Windows as it is.
#include <windows.h>

#include <cstdio>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "display/readout_win.h"

namespace {

constexpr int kLeft = 20;
constexpr int kTop = 20;
constexpr int kWidth = 100;
constexpr int kHeight = 50;
constexpr int kWarmUpCalls = 100;
constexpr int kTimedCalls = 5000;
constexpr double kMicrosecondsPerSecond = 1e6;
const char kWindowClass[] = "HORAX_DISPLAY_BENCH";

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Calls `draw` many times; returns microseconds per call.
template <typename Draw>
double TimePerCall(Draw draw) {
  for (int i = 0; i < kWarmUpCalls; ++i) {
    draw();
  }
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < kTimedCalls; ++i) {
    draw();
  }
  GdiFlush();
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * kMicrosecondsPerSecond / kTimedCalls;
}

}  // namespace

int main() {
  HINSTANCE instance = GetModuleHandleA(NULL);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  MainWindow = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "DCF 77 DECODER",
                               WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, NULL, NULL, instance, NULL);
  GlyphStrip = LoadBitmapA(instance, "LCD_08X13");
  if (MainWindow == 0 || GlyphStrip == 0) {
    std::fprintf(stderr, "display_bench: no window or no glyph strip\n");
    return 1;
  }
  SetWindowPos(MainWindow, HWND_NOTOPMOST, kLeft, kTop, kWidth, kHeight, SWP_NOACTIVATE);
  WindowGeometry.Left = kLeft;
  WindowGeometry.Top = kTop;
  WindowGeometry.Width = kWidth;
  WindowGeometry.Height = kHeight;
  TimeFields.Day = 5;
  TimeFields.Month = 12;
  TimeFields.Year = 97;
  TimeFields.Hour = 7;
  TimeFields.Minute = 3;
  ReceiverState.SecondCounter = 41;

  // The same composition into a memory context, without the window's surface.
  HDC screen = GetDC(MainWindow);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  ReleaseDC(MainWindow, screen);

  const double readoutToMemory = TimePerCall([memory] { DrawReadout(memory); });
  const double readoutToWindow = TimePerCall([] { DrawReadout(0); });
  const double face = TimePerCall([] { PaintFace(); });
  std::printf("calls timed each:              %d\n", kTimedCalls);
  std::printf("DrawReadout(memory DC):        %8.2f us/call\n", readoutToMemory);
  std::printf("DrawReadout(0), window's DC:   %8.2f us/call\n", readoutToWindow);
  std::printf("PaintFace():                   %8.2f us/call\n", face);

  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  DeleteObject(GlyphStrip);
  DestroyWindow(MainWindow);
  UnregisterClassA(kWindowClass, instance);
  return 0;
}
