// The window class and its procedure: polling the receiver, the drag, keeping the window on a
// monitor, painting, sleep, quitting.
#pragma once

#include <windows.h>

#include "decoder/reception.h"

constexpr char kWindowClassName[] = "DCF_77_DECODER";
constexpr char kWindowTitle[] = "DCF 77 DECODER";
constexpr UINT_PTR kPollTimerId = 10;

// Takes MainWindow's real place on the screen into WindowGeometry's left and top; where the
// window no longer exists, WindowGeometry stays as it is.
void NoteWindowPlace();

// Moves WindowGeometry's left and top into the work area of the monitor the window is on, or
// nearest to (KeepWindowOnScreen); the window itself is not moved.
void KeepWindowOnMonitor();

// Registers "DCF_77_DECODER" for `instance`; false when the platform gave no class atom.
bool RegisterWindowClass(HINSTANCE instance);

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Hands each character the port's reader received by now to HandleCharacter with the tick
// it arrived at (up to a limit), ends a minute whose mark is overdue (RunReceptionPoll), and
// redraws the readout. A port whose read failed is closed kPortGiveUpMs later, the readout
// redrawn with the seconds at 00, and opened again every kPortRetryMs. False when no
// character was taken.
bool PollReceiver();
