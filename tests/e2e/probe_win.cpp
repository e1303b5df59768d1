// A helper for the end-to-end tests, run under the same Wine server as the program:
//   probe msgbox CAPTION   waits for a message box, prints its text, presses OK
//   probe send MSG WPARAM  sends message MSG (numbers) to the program's window; "answered"
//   probe move X Y         moves the program's window to X, Y, as when a monitor moves
// Exit code 0 on success, 1 when the window or box was not found in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool box = argc == 3 && std::strcmp(argv[1], "msgbox") == 0;
  if (!box && argc != 4) {
    std::fprintf(stderr, "usage: probe msgbox CAPTION | send MSG WPARAM | move X Y\n");
    return 2;
  }
  HWND window = NULL;
  for (const DWORD start = GetTickCount(); !window && GetTickCount() - start < 20000; Sleep(20)) {
    window = box ? FindWindowA("#32770", argv[2]) : FindWindowA("DCF_77_DECODER", "DCF 77 DECODER");
  }
  if (!window) {
    std::fprintf(stderr, "probe: no window found\n");
    return 1;
  }
  if (box) {
    char text[1024] = {};
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    std::fputs(text, stdout);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  } else if (std::strcmp(argv[1], "move") == 0) {
    // Done by the window's own thread, so the move is over when the call returns.
    SetWindowPos(window, NULL, std::atoi(argv[2]), std::atoi(argv[3]), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    // Sent, so that the program has handled it when the probe returns; one that ends
    // inside the handler never answers, which the time-out covers.
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, std::strtoul(argv[2], NULL, 0), std::strtoul(argv[3], NULL, 0),
                            0, SMTO_NORMAL, 5000, &result)) {
      std::fputs("answered", stdout);
    }
  }
  return 0;
}
