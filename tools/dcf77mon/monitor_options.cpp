#include "monitor_options.h"

#include <cstdio>
#include <cstring>

namespace {

// horax takes its port as a bare number in this range.
constexpr unsigned kLastHoraxPort = 4;
constexpr char kComPrefix[] = "COM";
constexpr size_t kComPrefixLength = sizeof kComPrefix - 1;

const char kHelpText[] =
    "Usage: dcf77mon PORT [--record FILE]\n"
    "       dcf77mon --replay FILE\n"
    "Shows what a DCF77 receiver module on a serial port sends and what horax makes of it.\n"
    "It reads the port as horax does (50 baud 8N1, RTS on, DTR off, a poll every 250 ms that\n"
    "takes every character queued) and hands each character to horax's own decoder, but it\n"
    "never sets the clock.\n"
    "\n"
    "  PORT              Linux: the serial device, such as /dev/ttyS0 or /dev/ttyUSB0.\n"
    "                    Windows: the port as horax takes it (1-4), or COM1 to COM8.\n"
    "  --record FILE     also write every character to FILE, one \"ms value\" line each: the\n"
    "                    milliseconds since the start at which it arrived and its value in\n"
    "                    decimal, after a first comment line (# starts a comment)\n"
    "  --replay FILE     analyse such a recording instead of a port, as fast as it goes: each\n"
    "                    character is handled at the first poll at or after its time\n"
    "  --help            this text\n"
    "\n"
    "Output: a line per character (seconds since the start, its value, the mark width it\n"
    "stands for, what horax reads: 0, 1, spike, broken, with ? for a mark so near the cut\n"
    "between 0 and 1 that its bit may have turned, and the mark's second in the minute, with\n"
    "\"left out\" or \"replaces\" where two came in one second); a line per minute (the date\n"
    "and time it decoded to and whether the minutes before confirmed it, or which seconds\n"
    "held no mark, or why it failed); a status line (marks this minute, spikes and broken\n"
    "marks in the last 60 s, minutes decoded of the last 10). Ctrl-C ends with a summary.\n"
    "Exit status: 0, or 2 for a port that cannot be used or a bad recording.\n";

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// Windows' own folders have ASCII names; other letters are compared as they are.
char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool Refuse(char* message, const char* what, const char* argument) {
  std::snprintf(message, kOptionsMessageSize, "%s%s (see --help)", what, argument);
  return false;
}

}  // namespace

bool ParseMonitorOptions(int argc, char** argv, MonitorOptionsRecord* options, char* message) {
  MonitorOptionsRecord parsed = {};
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const bool valued = i + 1 < argc;
    if (std::strcmp(argument, "--help") == 0) {
      *options = MonitorOptionsRecord{};
      options->Help = true;
      return true;
    }
    const bool record = std::strcmp(argument, "--record") == 0;
    if (record || std::strcmp(argument, "--replay") == 0) {
      const char** path = record ? &parsed.RecordPath : &parsed.ReplayPath;
      if (!valued) {
        return Refuse(message, "missing FILE after ", argument);
      }
      if (*path != nullptr) {
        return Refuse(message, "given twice: ", argument);
      }
      *path = argv[++i];
    } else if (argument[0] == '-' && argument[1] == '-') {
      return Refuse(message, "unknown option ", argument);
    } else if (parsed.Port != nullptr) {
      return Refuse(message, "one PORT only, not also ", argument);
    } else {
      parsed.Port = argument;
    }
  }
  if (parsed.ReplayPath != nullptr && (parsed.Port != nullptr || parsed.RecordPath != nullptr)) {
    return Refuse(message, "--replay reads no port and records nothing", "");
  }
  if (parsed.ReplayPath == nullptr && parsed.Port == nullptr) {
    return Refuse(message, "no PORT given", "");
  }
  *options = parsed;
  return true;
}

const char* GetMonitorHelpText() {
  return kHelpText;
}

unsigned ReadComPortNumber(const char* text) {
  unsigned last = kLastHoraxPort;
  if (std::strlen(text) > kComPrefixLength) {
    bool named = true;
    for (size_t i = 0; i < kComPrefixLength; ++i) {
      named = named && (text[i] == kComPrefix[i] || text[i] == kComPrefix[i] - 'A' + 'a');
    }
    if (named) {
      text += kComPrefixLength;
      last = kLastComPort;
    }
  }
  // One digit: the ports go up to 8.
  if (text[0] < '1' || text[0] > '9' || text[1] != '\0') {
    return 0;
  }
  const unsigned number = static_cast<unsigned>(text[0] - '0');
  return number <= last ? number : 0;
}

bool IsInsideFolder(const char* path, const char* folder) {
  size_t i = 0;
  for (; folder[i] != '\0'; ++i) {
    const bool same = IsPathSeparator(folder[i]) ? IsPathSeparator(path[i])
                                                 : FoldCase(folder[i]) == FoldCase(path[i]);
    if (!same) {
      return false;
    }
  }
  // A root ("C:\\") ends in its separator already.
  return path[i] == '\0' || IsPathSeparator(path[i]) || (i > 0 && IsPathSeparator(folder[i - 1]));
}
