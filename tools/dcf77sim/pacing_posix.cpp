#include "pacing.h"

#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t stop_requested = 0;

void NoteStop(int) {
  stop_requested = 1;
}

int64_t ToNanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

}  // namespace

void PrepareRealTime() {
  struct sigaction action = {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocked poll or sleep returns EINTR, so the loop sees the stop at once.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A reader that went away shows as a failed write, which the loop reports, not as death
  // by signal with the link left behind.
  signal(SIGPIPE, SIG_IGN);
}

bool IsStopRequested() {
  return stop_requested != 0;
}

int64_t ReadMonotonicNs() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return ToNanoseconds(now);
}

int64_t ReadWallClockNs() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return ToNanoseconds(now);
}

bool SleepUntil(int64_t deadline_ns) {
  timespec deadline = {};
  deadline.tv_sec = static_cast<time_t>(deadline_ns / kNanosecondsPerSecond);
  deadline.tv_nsec = static_cast<long>(deadline_ns % kNanosecondsPerSecond);
  while (!IsStopRequested()) {
    const int result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    if (result == 0) {
      return !IsStopRequested();
    }
    if (result != EINTR) {
      return false;
    }
  }
  return false;
}

bool IsStderrTerminal() {
  return isatty(STDERR_FILENO) == 1;
}
