#include "port_bench_win.h"

#include <cstdlib>

#include "port/receiver_port_win.h"

namespace {

// Each poll yields the processor rather than spin; the deadline, not the pause, bounds
// the wait.
constexpr DWORD kPollPauseMs = 1;

// A read that may never return must not write into a caller that has moved on; each
// read works on a record of its own, left behind when it is still waiting.
struct ThreadedRead {
  uint8_t character;
  int32_t count;
};

DWORD WINAPI RunRead(LPVOID parameter) {
  ThreadedRead* read = static_cast<ThreadedRead*>(parameter);
  read->count = ReadReceiverByte(&read->character);
  return 0;
}

}  // namespace

unsigned BenchPort(const char* variable) {
  char value[16];
  const DWORD length = GetEnvironmentVariableA(variable, value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) {
    return 0;
  }
  return static_cast<unsigned>(std::strtoul(value, nullptr, 10));
}

HANDLE OpenComPort(unsigned port, DWORD access) {
  char name[16];
  wsprintfA(name, "\\\\.\\COM%u", port);
  return CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool Send(HANDLE sender, const uint8_t* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(sender, bytes, count, &written, nullptr) && written == count;
}

int32_t AwaitCharacter(uint8_t* character) {
  const DWORD start = GetTickCount();
  for (;;) {
    const int32_t count = ReadReceiverByte(character);
    if (count > 0 || GetTickCount() - start > kArrivalDeadlineMs) {
      return count;
    }
    Sleep(kPollPauseMs);
  }
}

int32_t ReadWithin(uint8_t* character, DWORD* elapsed_ms) {
  ThreadedRead* read = new ThreadedRead{*character, 0};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const HANDLE thread = CreateThread(nullptr, 0, RunRead, read, 0, nullptr);
  const bool returned = WaitForSingleObject(thread, kArrivalDeadlineMs) == WAIT_OBJECT_0;
  QueryPerformanceCounter(&end);
  CloseHandle(thread);
  *elapsed_ms = static_cast<DWORD>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
  if (!returned) {
    return kStillWaiting;
  }
  *character = read->character;
  const int32_t count = read->count;
  delete read;
  return count;
}

DWORD AwaitQueued(HANDLE port) {
  const DWORD start = GetTickCount();
  for (;;) {
    COMSTAT queue = {};
    if (!ClearCommError(port, nullptr, &queue)) {
      return 0;
    }
    if (queue.cbInQue > 0 || GetTickCount() - start > kArrivalDeadlineMs) {
      return queue.cbInQue;
    }
    Sleep(kPollPauseMs);
  }
}
