// A helper for the end-to-end tests, run under the same Wine server as the program:
//   probe msgbox CAPTION    waits for a message box, prints its text, presses OK
//   probe endsession 0|1    sends WM_ENDSESSION to the program's window
//   probe close             sends WM_CLOSE to the program's window
//   probe resume            sends the resume from sleep (WM_POWERBROADCAST) to the window
//   probe move X Y          moves the program's window to X, Y, as Windows does when a
//                           monitor goes or the display's resolution changes
// Exit code 0 on success, 1 when the window or box was not found in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kDeadlineMs = 20000;
constexpr DWORD kPollMs = 20;
constexpr UINT kAnswerMs = 5000;
constexpr int kTextSize = 1024;
constexpr int kStaticTextId = 0xFFFF;

HWND WaitForWindow(const char* window_class, const char* title) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kDeadlineMs) {
    const HWND window = FindWindowA(window_class, title);
    if (window) {
      return window;
    }
    Sleep(kPollMs);
  }
  return NULL;
}

int ReadMessageBox(const char* caption) {
  const HWND box = WaitForWindow("#32770", caption);
  if (!box) {
    std::fprintf(stderr, "probe: no message box titled \"%s\"\n", caption);
    return 1;
  }
  char text[kTextSize] = {};
  GetDlgItemTextA(box, kStaticTextId, text, kTextSize);
  std::fwrite(text, 1, std::strlen(text), stdout);
  std::fflush(stdout);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return 0;
}

int SendToProgram(UINT message, WPARAM wParam) {
  const HWND window = WaitForWindow("DCF_77_DECODER", "DCF 77 DECODER");
  if (!window) {
    std::fprintf(stderr, "probe: the program's window is not there\n");
    return 1;
  }
  // Sent, so that the program has handled it when the probe returns; one that ends
  // inside the handler never answers, which the time-out covers.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, kAnswerMs, &result);
  return 0;
}

int MoveProgramWindow(const char* x, const char* y) {
  const HWND window = WaitForWindow("DCF_77_DECODER", "DCF 77 DECODER");
  if (!window) {
    std::fprintf(stderr, "probe: the program's window is not there\n");
    return 1;
  }
  // Done by the window's own thread, so the move is over when the call returns.
  SetWindowPos(window, NULL, std::atoi(x), std::atoi(y), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "msgbox") == 0) {
    return ReadMessageBox(argv[2]);
  }
  if (argc == 3 && std::strcmp(argv[1], "endsession") == 0) {
    return SendToProgram(WM_ENDSESSION, argv[2][0] == '1' ? TRUE : FALSE);
  }
  if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
    return SendToProgram(WM_CLOSE, 0);
  }
  if (argc == 2 && std::strcmp(argv[1], "resume") == 0) {
    return SendToProgram(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
  }
  if (argc == 4 && std::strcmp(argv[1], "move") == 0) {
    return MoveProgramWindow(argv[2], argv[3]);
  }
  std::fprintf(stderr,
               "usage: probe msgbox CAPTION | endsession 0|1 | close | resume | move X Y\n");
  return 2;
}
