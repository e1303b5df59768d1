#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "monitor_port.h"

namespace {

constexpr int kNoFile = -1;
constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kMsPerSecond = 1000;
// The 8250 driver's receive FIFO trigger level, in bytes, for a port named ttyS0 and the like.
constexpr char kTriggerPath[] = "/sys/class/tty/%.200s/rx_trig_bytes";
constexpr long kOneByte = 1;

volatile sig_atomic_t stop_requested = 0;
timespec started = {};
int port_fd = kNoFile;

void NoteStop(int) {
  stop_requested = 1;
}

bool Refuse(char* message, const char* format, const char* name) {
  std::snprintf(message, kPortMessageSize, format, name, std::strerror(errno));
  return false;
}

// Raw 8N1 at 50 baud, the receiver on: every byte as it came, a long mark's break or
// framing error as its value (0), nothing translated, no flow control.
bool SetReceiverLine(int fd) {
  termios line = {};
  if (tcgetattr(fd, &line) != 0) {
    return false;
  }
  cfmakeraw(&line);
  line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | IXON | IXOFF);
  line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  line.c_cflag |= static_cast<tcflag_t>(CS8 | CREAD | CLOCAL);
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  if (cfsetispeed(&line, B50) != 0 || cfsetospeed(&line, B50) != 0 ||
      tcsetattr(fd, TCSANOW, &line) != 0) {
    return false;
  }
  // tcsetattr succeeds when any one change took; a driver without 50 baud keeps its rate.
  termios applied = {};
  return tcgetattr(fd, &applied) == 0 && cfgetispeed(&applied) == B50;
}

// The module draws its supply between RTS (high) and DTR (low); a pseudo-terminal has
// neither line, and says so.
void SetModemLines(int fd, int on, int off) {
  ioctl(fd, TIOCMBIS, &on);
  ioctl(fd, TIOCMBIC, &off);
}

// A 16550 whose FIFO hands characters over only several at a time holds lone short marks
// back for four character times (800 ms); the 8250 driver picks one byte below 2400 baud,
// unless told otherwise, and shows its choice in sysfs. Other drivers show nothing.
void CheckFifoTrigger(const char* name, char* warning) {
  char device[PATH_MAX];
  if (realpath(name, device) == nullptr) {
    return;
  }
  const char* base = std::strrchr(device, '/');
  char path[kPortMessageSize];
  std::snprintf(path, sizeof path, kTriggerPath, base != nullptr ? base + 1 : device);
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    return;
  }
  long bytes = 0;
  if (std::fscanf(file, "%ld", &bytes) == 1 && bytes > kOneByte) {
    std::snprintf(warning, kPortMessageSize,
                  "%.40s hands characters over %ld at a time (%.70s): short marks arrive late "
                  "and no minute decodes; as root, write 1 there",
                  name, bytes, path);
  }
  std::fclose(file);
}

}  // namespace

void PrepareMonitor() {
  struct sigaction action = {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait in poll() or nanosleep() returns at once on a stop.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A reader of the output that went away shows as a failed write.
  signal(SIGPIPE, SIG_IGN);
  clock_gettime(CLOCK_MONOTONIC, &started);
}

bool IsStopRequested() {
  return stop_requested != 0;
}

void NoteMonitorDone() {}

uint32_t ReadMonitorClock() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t ms = (static_cast<int64_t>(now.tv_sec) - started.tv_sec) * kMsPerSecond +
                     (now.tv_nsec - started.tv_nsec) / kNsPerMs;
  return static_cast<uint32_t>(ms);
}

int64_t ReadPcClock() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * kMsPerSecond + now.tv_nsec / kNsPerMs;
}

void PauseMonitor(uint32_t ms) {
  timespec pause = {};
  pause.tv_sec = static_cast<time_t>(ms / kMsPerSecond);
  pause.tv_nsec = static_cast<long>(ms % kMsPerSecond * kNsPerMs);
  nanosleep(&pause, nullptr);
}

bool IsOutputTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool OpenMonitorPort(const char* name, char* message, char* warning) {
  warning[0] = '\0';
  const int fd = open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd == kNoFile) {
    return Refuse(message,
                  errno == ENOENT  ? "%s does not exist"
                  : errno == EBUSY ? "%s is in use by another program"
                                   : "cannot open %s: %s",
                  name);
  }
  // TIOCEXCL turns away every later open but a superuser's; the lock, which serial programs
  // take too, turns away a second monitor even then.
  bool usable = false;
  if (!isatty(fd)) {
    Refuse(message, "%s is no serial port", name);
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    Refuse(message, errno == EWOULDBLOCK ? "%s is in use by another program" : "cannot lock %s: %s",
           name);
  } else if (ioctl(fd, TIOCEXCL) != 0) {
    Refuse(message, "cannot take %s for this program alone: %s", name);
  } else if (!SetReceiverLine(fd)) {
    Refuse(message, "%s refuses 50 baud 8N1 (%s)", name);
  } else {
    usable = true;
  }
  if (!usable) {
    close(fd);
    return false;
  }
  SetModemLines(fd, TIOCM_RTS, TIOCM_DTR);
  CheckFifoTrigger(name, warning);
  port_fd = fd;
  return true;
}

int ReadMonitorPort(uint8_t* value, uint32_t* arrived, uint32_t wait_ms) {
  pollfd watch = {};
  watch.fd = port_fd;
  watch.events = POLLIN;
  const int ready = poll(&watch, 1, static_cast<int>(wait_ms));
  if (ready < 0) {
    return errno == EINTR ? 0 : -1;
  }
  if (ready == 0) {
    return 0;
  }
  if ((watch.revents & POLLIN) == 0) {
    return -1;  // hung up, or failed: an adapter unplugged, the other side of a pty closed
  }
  // One at a time, so that each gets the time of its own read.
  const ssize_t count = read(port_fd, value, 1);
  *arrived = ReadMonitorClock();
  if (count < 0) {
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
  }
  // A terminal that reads nothing after saying it had something has hung up.
  return count == 0 ? -1 : 1;
}

void CloseMonitorPort() {
  if (port_fd != kNoFile) {
    SetModemLines(port_fd, TIOCM_DTR, TIOCM_RTS);
    close(port_fd);
    port_fd = kNoFile;
  }
}

// horax steers only Windows' clock.
bool DescribeOtherSteering(char* note) {
  note[0] = '\0';
  return false;
}
