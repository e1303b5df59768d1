#include "app/window_win.h"

#include <cstdint>

#include "app/placement.h"
#include "app/settings_win.h"
#include "app/steering_win.h"
#include "common/clock_steering.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "decoder/reception.h"
#include "decoder/steering.h"
#include "display/face_win.h"
#include "display/readout_win.h"
#include "platform/tick.h"
#include "port/port_watch.h"
#include "port/receiver_port_win.h"

namespace {

constexpr UINT kClassStyle = CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);
// How long the drag loop sleeps between two looks at the button: about a tick of the system's
// timer, so that the window follows the cursor smoothly and the processor stays free.
constexpr DWORD kDragPauseMs = 10;

// The receiver port's reads and opens, for giving it up and opening it again.
PortWatchRecord PortWatch = {};
// The tick of the last poll, by the timer or by a drag.
uint32_t LastPollTick = 0;
// While a drag runs, the window procedure may run inside it (DragWindow says why): no drag
// starts then, and a move of the window that a change of the screen asks for waits until the
// button is released.
bool Dragging = false;
bool PullBackAfterDrag = false;

// Closes the port as the normal end does and starts reception afresh: the readout shows the
// seconds at 00 until the port is back and marks come again.
void GiveUpPort(uint32_t now) {
  CloseReceiverPort();
  RestartReception();
  NotePortClosed(&PortWatch, now);
  DrawReadout(0);
}

void TryReopeningPort(uint32_t now) {
  NoteReopenTried(&PortWatch, ReopenReceiverPort(), now);
}

// Moves the window back onto its monitor's work area, as the start places it, from where it
// really is.
void PullWindowOntoMonitor() {
  NoteWindowPlace();
  KeepWindowOnMonitor();
  // "SWP_NOSIZE: Retains the current size", "SWP_NOZORDER: Retains the current Z order",
  // "SWP_NOACTIVATE: Does not activate the window."
  SetWindowPos(MainWindow, NULL, WindowGeometry.Left, WindowGeometry.Top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moves the window with the cursor for as long as the (logical) left button is held. The
// button is read from the device itself, so the loop needs no messages to see it released;
// the device knows only physical buttons, and for a user who swapped them the logical left
// one is the physical right one. No timer message arrives meanwhile, so the loop polls the
// port itself on the timer's period: a drag across a minute mark would otherwise hold the
// mark back, and the clock set with it, by as long as the drag lasts.
//
// The system takes a program for hung that "has not called PeekMessage within the internal
// timeout period of 5 seconds" (IsHungAppWindow), so the loop looks at the queue on every
// turn, taking nothing from it: with PM_NOREMOVE "Messages are not removed from the queue
// after processing by PeekMessage", and the timer's and the mouse's messages wait for the
// message loop. But "the system delivers pending, nonqueued messages, that is, messages sent
// to windows owned by the calling thread": the window procedure runs inside the drag.
void DragWindow() {
  Dragging = true;
  const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  NoteWindowPlace();
  POINT cursor;
  GetCursorPos(&cursor);
  const int32_t grab_x = cursor.x - WindowGeometry.Left;
  const int32_t grab_y = cursor.y - WindowGeometry.Top;
  MSG waiting;
  // A window destroyed by a message sent meanwhile ends the drag; the message loop ends next.
  while ((GetAsyncKeyState(button) & kKeyDownBit) && IsWindow(MainWindow)) {
    GetCursorPos(&cursor);
    WindowGeometry.Left = cursor.x - grab_x;
    WindowGeometry.Top = cursor.y - grab_y;
    MoveWindow(MainWindow, WindowGeometry.Left, WindowGeometry.Top, WindowGeometry.Width,
               WindowGeometry.Height, TRUE);
    if (ReadTickMs() - LastPollTick >= kPollPeriodMs) {
      LastPollTick = ReadTickMs();
      PollReceiver();
    }
    PeekMessageA(&waiting, NULL, 0, 0, PM_NOREMOVE);
    Sleep(kDragPauseMs);
  }
  Dragging = false;
  if (PullBackAfterDrag && IsWindow(MainWindow)) {
    PullBackAfterDrag = false;
    PullWindowOntoMonitor();
  }
}

LRESULT OnSetCursor(HWND window, WPARAM wParam, LPARAM lParam) {
  if (HIWORD(lParam) != WM_LBUTTONDOWN || Dragging) {
    return DefWindowProcA(window, WM_SETCURSOR, wParam, lParam);
  }
  DragWindow();
  return 0;
}

// A taskbar moved or resized, a resolution changed or a monitor gone can leave the window
// under a taskbar or off every monitor; it is pulled back as at the start, after the drag if
// one runs.
LRESULT OnScreenChange() {
  if (Dragging) {
    PullBackAfterDrag = true;
  } else {
    PullWindowOntoMonitor();
  }
  return 0;
}

LRESULT OnPaint(HWND window) {
  // BeginPaint erases first only when the update region asks for it, so the face is drawn
  // here, for every repaint; it covers the whole window, so nothing needs erasing.
  PAINTSTRUCT paint;
  const HDC context = BeginPaint(window, &paint);
  if (context) {
    DrawFace(context);
  }
  EndPaint(window, &paint);
  return 0;
}

LRESULT OnEraseBackground() {
  // Nonzero: the background counts as erased, and WM_PAINT draws over all of it.
  return TRUE;
}

LRESULT OnEndSession(HWND window, WPARAM wParam, LPARAM lParam) {
  // Only a session that really ends takes the process with it; when the end was called
  // off, the program carries on. Users who start the program at logon never press Escape,
  // so the window's place is saved here too; nothing else of the normal end is done.
  if (wParam) {
    NoteWindowPlace();
    SaveSettings();
    CloseReceiverPort();
    HandBackClock();
    ExitProcess(0);
  }
  return DefWindowProcA(window, WM_ENDSESSION, wParam, lParam);
}

LRESULT OnKeyUp(WPARAM wParam) {
  if (wParam == VK_ESCAPE) {
    PostQuitMessage(0);
  }
  return 0;
}

LRESULT OnTimer() {
  LastPollTick = ReadTickMs();
  PollReceiver();
  return 0;
}

LRESULT OnPowerBroadcast(HWND window, WPARAM wParam, LPARAM lParam) {
  if (wParam != PBT_APMRESUMEAUTOMATIC) {
    return DefWindowProcA(window, WM_POWERBROADCAST, wParam, lParam);
  }
  // A driver may have lost its device across sleep while the handle still looks sound, so
  // the port is opened afresh at once; should that fail, the polls go on trying.
  const uint32_t now = ReadTickMs();
  if (!PortWatch.Closed) {
    GiveUpPort(now);
  }
  TryReopeningPort(now);
  // The clock may have jumped while the system slept: its offset is learned afresh.
  RestartSteering(&Steering);
  return TRUE;
}

LRESULT OnDestroy() {
  // A window closed or destroyed from outside ends the message loop as Escape does, so
  // that the normal end still saves the settings and releases the port.
  PostQuitMessage(0);
  return 0;
}

}  // namespace

void NoteWindowPlace() {
  // Others move the window too: "If a window straddles two monitors and one of the monitors
  // is repositioned, the system positions the window on the monitor that contains the largest
  // part of the original window." The close from outside destroys it before the settings are
  // written: its place as last known is then the one to keep.
  RECT place;
  if (IsWindow(MainWindow) && GetWindowRect(MainWindow, &place)) {
    WindowGeometry.Left = place.left;
    WindowGeometry.Top = place.top;
  }
}

// The virtual screen spans all monitors, and with monitors of different sizes it has corners
// that none of them shows: the window is kept on the monitor "that has the largest area of
// intersection" with it, or with none, "the display monitor that is nearest to the
// rectangle", within its work area ("rcWork"): a window without a caption, taskbar button or
// menu that lies under the taskbar cannot be reached.
void KeepWindowOnMonitor() {
  const ScreenRectRecord span = FindWindowRect(WindowGeometry);
  const RECT window = {span.Left, span.Top, span.Right, span.Bottom};
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& area = monitor.rcWork;
    KeepWindowOnScreen(&WindowGeometry, area.left, area.top, area.right - area.left,
                       area.bottom - area.top);
    return;
  }
  KeepWindowOnScreen(&WindowGeometry, GetSystemMetrics(SM_XVIRTUALSCREEN),
                     GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                     GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

bool RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSA window_class = {};
  window_class.style = kClassStyle;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
  window_class.lpszClassName = kWindowClassName;
  return RegisterClassA(&window_class) != 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      return OnSetCursor(window, wParam, lParam);
    case WM_PAINT:
      return OnPaint(window);
    case WM_ERASEBKGND:
      return OnEraseBackground();
    case WM_ENDSESSION:
      return OnEndSession(window, wParam, lParam);
    case WM_KEYUP:
      return OnKeyUp(wParam);
    case WM_TIMER:
      return OnTimer();
    case WM_POWERBROADCAST:
      return OnPowerBroadcast(window, wParam, lParam);
    // "When the system sends this message as a result of a SystemParametersInfo call, the
    // wParam parameter is the value of the uiAction parameter"; SPI_SETWORKAREA "Sets the
    // size of the work area", "the portion of the screen not obscured by the system taskbar".
    case WM_SETTINGCHANGE:
      if (wParam != SPI_SETWORKAREA) {
        return DefWindowProcA(window, message, wParam, lParam);
      }
      return OnScreenChange();
    // "sent to all windows when the display resolution has changed"
    case WM_DISPLAYCHANGE:
      return OnScreenChange();
    case WM_DESTROY:
      return OnDestroy();
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool PollReceiver() {
  const uint32_t now = ReadTickMs();
  if (PortWatch.Closed) {
    if (IsReopenDue(PortWatch, now)) {
      TryReopeningPort(now);
    }
    return false;
  }
  // Every character received by now, each with the tick it arrived at, and then a minute
  // whose mark did not come ends all the same, and the fields show its decode.
  static PollResultRecord result;
  RunReceptionPoll(TakeReceivedCharacter, now, &result);
  ApplySteering(now);
  if (NoteReadOutcome(&PortWatch, HasReadFailed(), now)) {
    GiveUpPort(now);
    return result.Count > 0;
  }
  // After every poll that took a character, so that the seconds step with the marks.
  if (result.Count > 0 || result.Overdue.Verdict != kNoMinute) {
    DrawReadout(0);
  }
  return result.Count > 0;
}
