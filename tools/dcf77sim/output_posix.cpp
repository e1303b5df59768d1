#include "output.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "options.h"
#include "pacing.h"

namespace {

constexpr int kNoFile = -1;
// How often the wait for a reader looks at the master. Nothing wakes a poll() when the
// POLLHUP state clears, so it is looked at again and again; 5 ms is "at once" for marks.
constexpr long kReaderPollNs = 5 * 1000000L;

int line_fd = kNoFile;
bool is_pty = false;
const char* pty_link = nullptr;
bool restore_settings = false;
termios saved_settings = {};

bool FailWithErrno(char* message, const char* what, const char* name) {
  std::snprintf(message, kMessageSize, "%s %s: %s", what, name, std::strerror(errno));
  return false;
}

// Raw 8N1 at 50 baud: no echo, no line editing, no signals, no translation of CR, NL or
// flow-control characters, no output processing.
bool SetRawLine(int fd) {
  termios settings = {};
  if (tcgetattr(fd, &settings) != 0) {
    return false;
  }
  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | IXOFF | IXANY | INPCK);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  settings.c_cflag |= static_cast<tcflag_t>(CS8 | CREAD | CLOCAL);
#ifdef CRTSCTS
  settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, B50) != 0 || cfsetospeed(&settings, B50) != 0) {
    return false;
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    return false;
  }
  // tcsetattr succeeds when any one change took; the speed is the one that matters.
  termios applied = {};
  return tcgetattr(fd, &applied) == 0 && cfgetospeed(&applied) == B50;
}

// Only a symlink may be replaced: it is most likely left from a run that was killed.
bool ClearLinkPath(const char* link, char* message) {
  struct stat status = {};
  if (lstat(link, &status) != 0) {
    return errno == ENOENT || FailWithErrno(message, "cannot use --pty link", link);
  }
  if (!S_ISLNK(status.st_mode)) {
    std::snprintf(message, kMessageSize, "cannot use --pty link %s: it exists and is no symlink",
                  link);
    return false;
  }
  return unlink(link) == 0 || FailWithErrno(message, "cannot replace --pty link", link);
}

// Looks at the master without waiting: POLLHUP while no process has the slave open.
bool IsPtyUnread(bool* unread) {
  pollfd entry = {};
  entry.fd = line_fd;
  entry.events = POLLOUT;
  const int result = poll(&entry, 1, 0);
  if (result < 0) {
    return false;
  }
  *unread = (entry.revents & POLLHUP) != 0;
  return true;
}

}  // namespace

bool OpenPtyOutput(const char* link, char* message) {
  // Non-blocking, so that a reader who stops reading costs characters, not the schedule.
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0) {
    return FailWithErrno(message, "cannot create a pseudo-terminal for", link);
  }
  const char* slave_name = nullptr;
  if (grantpt(master) != 0 || unlockpt(master) != 0 || (slave_name = ptsname(master)) == nullptr) {
    FailWithErrno(message, "cannot set up a pseudo-terminal for", link);
    close(master);
    return false;
  }
  // Opening and closing the slave once also makes the master report POLLHUP until the next
  // open; before any open it does not.
  const int slave = open(slave_name, O_RDWR | O_NOCTTY);
  if (slave < 0) {
    FailWithErrno(message, "cannot open", slave_name);
    close(master);
    return false;
  }
  const bool raw = SetRawLine(slave);
  const int raw_error = errno;
  close(slave);
  errno = raw_error;
  if (!raw) {
    FailWithErrno(message, "cannot set raw mode on", slave_name);
    close(master);
    return false;
  }
  if (!ClearLinkPath(link, message)) {
    close(master);
    return false;
  }
  if (symlink(slave_name, link) != 0) {
    FailWithErrno(message, "cannot create --pty link", link);
    close(master);
    return false;
  }
  line_fd = master;
  is_pty = true;
  pty_link = link;
  return true;
}

bool OpenDeviceOutput(const char* path, char* message) {
  // O_NONBLOCK only for the open, which would otherwise wait for a modem's carrier.
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return FailWithErrno(message, "cannot open --device", path);
  }
  if (!isatty(fd) || tcgetattr(fd, &saved_settings) != 0) {
    std::snprintf(message, kMessageSize, "cannot configure --device %s: not a serial port", path);
    close(fd);
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !SetRawLine(fd)) {
    FailWithErrno(message, "cannot set 50 baud 8N1 on --device", path);
    tcsetattr(fd, TCSANOW, &saved_settings);
    close(fd);
    return false;
  }
  line_fd = fd;
  is_pty = false;
  restore_settings = true;
  return true;
}

bool WaitForPtyReader(char* message) {
  while (!IsStopRequested()) {
    bool unread = true;
    if (!IsPtyUnread(&unread)) {
      if (errno == EINTR) {
        continue;
      }
      return FailWithErrno(message, "cannot watch --pty", pty_link);
    }
    if (!unread) {
      return true;
    }
    timespec pause = {0, kReaderPollNs};
    nanosleep(&pause, nullptr);  // a stop signal cuts it short
  }
  return false;
}

bool WriteCharacter(uint8_t value, char* message) {
  if (line_fd == kNoFile) {
    return true;
  }
  if (is_pty) {
    bool unread = false;
    if (IsPtyUnread(&unread) && unread) {
      return true;
    }
  }
  for (;;) {
    const ssize_t written = write(line_fd, &value, 1);
    if (written == 1) {
      return true;
    }
    if (written < 0 && errno == EINTR) {
      // A stop signal cut short a write blocked on the port; the loop then sees the stop.
      if (IsStopRequested()) {
        return true;
      }
      continue;
    }
    if (is_pty && written < 0 && (errno == EAGAIN || errno == EIO)) {
      return true;
    }
    return FailWithErrno(message, "cannot write to", is_pty ? pty_link : "--device");
  }
}

void CloseOutput() {
  if (line_fd == kNoFile) {
    return;
  }
  if (restore_settings) {
    tcsetattr(line_fd, TCSANOW, &saved_settings);
    restore_settings = false;
  }
  close(line_fd);
  line_fd = kNoFile;
  if (pty_link != nullptr) {
    unlink(pty_link);
    pty_link = nullptr;
  }
}
