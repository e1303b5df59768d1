// dcf77mon's command line and the names of Windows' COM ports. No OS calls.
#pragma once

#include <cstddef>

// Exit status for bad input: a port that cannot be used, a bad recording, a bad option.
constexpr int kBadInputStatus = 2;
// Room for any message these functions write.
constexpr size_t kOptionsMessageSize = 256;
// OpenReceiverPort's range of COM ports.
constexpr unsigned kLastComPort = 8;

struct MonitorOptionsRecord {
  const char* Port;        // PORT, or nullptr; points into argv
  const char* RecordPath;  // --record FILE, or nullptr
  const char* ReplayPath;  // --replay FILE, or nullptr
  bool Help;               // --help: nothing else was checked
};

// Reads argv into `options`: either PORT with perhaps --record FILE, or --replay FILE.
// False with a one-line message (without the program's name) in `message`, which holds
// kOptionsMessageSize chars.
bool ParseMonitorOptions(int argc, char** argv, MonitorOptionsRecord* options, char* message);

// The --help text, ending in a newline.
const char* GetMonitorHelpText();

// The number of a Windows port given as horax takes it (1 to 4) or by name, COM1 to COM8 in
// any case; 0 for anything else.
unsigned ReadComPortNumber(const char* text);

// True when `path`, a full path, is `folder` or lies inside it: letters compared without case
// and / and \ taken alike, as Windows compares paths.
bool IsInsideFolder(const char* path, const char* folder);
