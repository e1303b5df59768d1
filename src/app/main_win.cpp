// horax: sets the PC's clock from a DCF77 receiver on a COM port, and shows the time.
#include <windows.h>

#include "app/command_line.h"
#include "app/settings_win.h"
#include "app/steering_win.h"
#include "app/window_win.h"
#include "common/port_handle.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "port/port_watch.h"
#include "port/receiver_port_win.h"

namespace {

constexpr char kUsageText[] =
    "Usage: HORAX <n>\twhere n ist the number of the COM\n\t\tport with the DCF77 module";
constexpr char kNoWindowText[] = "Could not create valid Window!";
constexpr char kNoWindowCaption[] = "ERROR";
constexpr char kGlyphStripName[] = "LCD_08X13";
constexpr DWORD kWindowExStyle = WS_EX_TOOLWINDOW;
constexpr DWORD kWindowStyle = WS_POPUP | WS_VISIBLE;
// How a start that failed ends, so that whoever started horax can tell: the Task Scheduler
// keeps "the results that were returned the last time the registered task was run"
// (LastTaskResult). The guide names them. A normal end is 0.
constexpr UINT kExitWrongCommandLine = 1;
constexpr UINT kExitNoPort = 2;
constexpr UINT kExitNoWindow = 3;
// At logon a USB adapter may get its COM port later than the task's delay: a port that cannot
// be opened is tried again every kPortRetryMs, as a port that went away is, for this long (ms),
// before the start counts as failed. Two minutes more than cover an adapter's driver being set
// up, and a user who gave a wrong port learns it within them.
constexpr DWORD kStartPortWaitMs = 2 * 60 * 1000;

[[noreturn]] void ShowUsage() {
  MessageBoxA(NULL, kUsageText, NULL, MB_ICONHAND);
  ExitProcess(kExitWrongCommandLine);
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

// Opens the port, trying again every kPortRetryMs until kStartPortWaitMs have passed. No
// window exists meanwhile, and none may: of Sleep, "If a thread creates any windows, it must
// process messages." False when the port never opened.
bool OpenPortWithinStartWait(unsigned port) {
  const DWORD started = GetTickCount();
  while (!OpenReceiverPort(port, nullptr)) {
    if (GetTickCount() - started >= kStartPortWaitMs) {
      return false;
    }
    Sleep(kPortRetryMs);
  }
  return true;
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
  HandBackClock();
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
  if (!OpenPortWithinStartWait(port)) {
    ExitProcess(kExitNoPort);
  }

  // An adjustment of the clock's rate in force now is another program's, unless it is the one
  // a run of horax left.
  FindTimeAdjustmentCalls();
  StartSteering();
  RegisterWindowClass(instance);
  MainWindow = CreateWindowExA(kWindowExStyle, kWindowClassName, kWindowTitle, kWindowStyle, 0, 0,
                               0, 0, NULL, NULL, instance, NULL);
  if (!MainWindow) {
    MessageBoxA(NULL, kNoWindowText, kNoWindowCaption, MB_ICONHAND);
    CloseReceiverPort();
    HandBackClock();
    ExitProcess(kExitNoWindow);
  }

  GlyphStrip = LoadBitmapA(instance, kGlyphStripName);
  PlaceWindow();
  PaintFace();
  SetTimer(MainWindow, kPollTimerId, kPollPeriodMs, NULL);

  RunMessageLoop();
  EndNormally(instance);
}
