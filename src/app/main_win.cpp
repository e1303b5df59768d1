// horax: sets the PC's clock from a DCF77 receiver on a COM port, and shows the time.
#include <windows.h>

#include "app/command_line.h"
#include "app/settings_win.h"
#include "app/window_win.h"
#include "common/port_handle.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "port/receiver_port_win.h"

namespace {

constexpr char kUsageText[] =
    "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module";
constexpr char kNoWindowText[] = "Could not create valid Window!";
constexpr char kNoWindowCaption[] = "ERROR";
constexpr char kGlyphStripName[] = "LCD_08X13";
constexpr DWORD kWindowExStyle = WS_EX_TOOLWINDOW;
constexpr DWORD kWindowStyle = WS_POPUP | WS_VISIBLE;

[[noreturn]] void ShowUsage() {
  MessageBoxA(NULL, kUsageText, NULL, MB_ICONHAND);
  ExitProcess(0);
}

// The port named on `line`, as ReadPortArgument reads it with the program's own path.
unsigned ReadPortFromCommandLine(const char* line) {
  // "If the length of the path exceeds the size that the nSize parameter specifies, the
  // function succeeds and the string is truncated" (and on Windows XP "is not
  // null-terminated"): a path cut short is no path, and the line is split as ever. "The
  // string returned will use the same format that was specified when the module was loaded",
  // long or short, as the line spells it.
  char program_path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, program_path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    program_path[0] = '\0';
  }
  return ReadPortArgument(line, program_path);
}

void PlaceWindow() {
  LoadSettings();
  KeepWindowOnMonitor();
  SetWindowPos(MainWindow, HWND_NOTOPMOST, WindowGeometry.Left, WindowGeometry.Top,
               WindowGeometry.Width, WindowGeometry.Height, SWP_NOACTIVATE);
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

[[noreturn]] void EndNormally(HINSTANCE instance) {
  KillTimer(MainWindow, kPollTimerId);
  NoteWindowPlace();
  SaveSettings();
  if (GlyphStrip) {
    DeleteObject(GlyphStrip);
    GlyphStrip = 0;
  }
  DestroyWindow(MainWindow);
  UnregisterClassA(kWindowClassName, instance);
  CloseReceiverPort();
  ExitProcess(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const HINSTANCE instance = GetModuleHandleA(NULL);

  const unsigned port = ReadPortFromCommandLine(GetCommandLineA());
  if (port == 0) {
    ShowUsage();
  }

  PortHandle = kNoPort;
  // A port whose driver refused the FIFO request still receives; the window has nowhere to
  // say so, and dcf77mon does.
  if (!OpenReceiverPort(port, nullptr)) {
    ExitProcess(0);
  }

  RegisterWindowClass(instance);
  MainWindow = CreateWindowExA(kWindowExStyle, kWindowClassName, kWindowTitle, kWindowStyle, 0, 0,
                               0, 0, NULL, NULL, instance, NULL);
  if (!MainWindow) {
    MessageBoxA(NULL, kNoWindowText, kNoWindowCaption, MB_ICONHAND);
    CloseReceiverPort();
    ExitProcess(0);
  }

  GlyphStrip = LoadBitmapA(instance, kGlyphStripName);
  PlaceWindow();
  PaintFace();
  SetTimer(MainWindow, kPollTimerId, kPollPeriodMs, NULL);

  RunMessageLoop();
  EndNormally(instance);
}
