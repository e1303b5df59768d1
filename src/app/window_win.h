// The window class and its procedure: polling the receiver, the drag, painting, quitting.
#pragma once

#include <windows.h>

constexpr char kWindowClassName[] = "DCF_77_DECODER";
constexpr char kWindowTitle[] = "DCF 77 DECODER";
constexpr UINT_PTR kPollTimerId = 10;
constexpr UINT kPollPeriodMs = 250;

// Registers "DCF_77_DECODER" for `instance`; false when the platform gave no class atom.
bool RegisterWindowClass(HINSTANCE instance);

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Reads at most one character from the port, frames it, sets the clock when it closed a
// decoded minute, and redraws the readout. False when no character was there.
bool PollReceiver();
