#include "options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "telegram_encoder.h"

namespace {

constexpr int kLastFromSecond = 59;

const char kHelpText[] =
    "Usage: dcf77sim OUTPUT [OPTIONS]\n"
    "A stand-in for a DCF77 receiver module on a 50-baud serial line. At every second mark\n"
    "the module pulls the line low, 200 ms for a 1 bit and 100 ms for a 0 bit, and not at\n"
    "all in second 59. The telegram sent during a minute gives the time of the minute that\n"
    "begins at the next mark. The marks keep to an absolute schedule, without drift.\n"
    "\n"
    "On a pseudo-terminal and on standard output, each character goes out when the\n"
    "receiving port's 50-baud 8N1 UART would hand it over: when it samples the stop bit,\n"
    "190 ms after the falling edge that started the character. The UART is modelled on the\n"
    "whole line, marks and interference alike: a 200 ms mark reads 0x00, a 100 ms mark\n"
    "0xF0; a spike just before a mark can swallow the mark's edge, a spike inside a mark\n"
    "breaks it, and the rest of a broken mark can make a character of its own. With\n"
    "--device the real port's transmitter makes the waveform, so each mark's character is\n"
    "written at the mark's start.\n"
    "\n"
    "Outputs (one or more; --pty and --device exclude each other):\n"
    "  --pty LINK          create a pseudo-terminal, raw, and a symlink LINK to its slave\n"
    "                      side (removed on exit); map LINK as Wine's COM port. A\n"
    "                      character sent while no one has it open is lost. Not on\n"
    "                      Windows.\n"
    "  --device PATH       an existing serial port (/dev/ttyS0; COM1 on Windows), set to\n"
    "                      50 baud 8N1, so its transmitter makes the marks through a\n"
    "                      null-modem cable. It sends whole 20 ms bits, so mark widths\n"
    "                      come out rounded to them: 0xF0 is 100 ms low, 0x00 180 ms.\n"
    "                      The options that model the receiving UART (--spikes, --room,\n"
    "                      --fifo, --replay-pulses) do not go with it.\n"
    "  --stdout            a trace on standard output, a line for each character in the\n"
    "                      order they go out, and one for each second that brings none:\n"
    "                        YYYY-MM-DD HH:MM:SS SS BIT CHAR\n"
    "                      the wall-clock time of the second, its number (00-60), the bit\n"
    "                      (0, 1, or - in the silent second) and the character its mark\n"
    "                      made (0x00, 0xF0, ..., or - for none: dropped, or swallowed by\n"
    "                      interference). A character that is no mark's own (a spike, a\n"
    "                      spurious character, the rest of a broken mark) has a line with\n"
    "                      -- for the second and - for the bit, and the time of the second\n"
    "                      it started in. A file played back shows \"MS 0xXX\" lines: when\n"
    "                      the character goes out, in ms from the start.\n"
    "  --record FILE       write every character sent to FILE, one \"MS VALUE\" line each:\n"
    "                      when it went out, in whole ms from the start (the first mark),\n"
    "                      and its value in decimal, after a first line that names the\n"
    "                      format; --replay plays it back.\n"
    "  --fast              with --stdout or --record and no port: write without waiting\n"
    "                      for real time.\n"
    "\n"
    "Time:\n"
    "  --start \"YYYY-MM-DD HH:MM[:SS]\"\n"
    "                      the wall-clock time of the first mark (default: now, with the\n"
    "                      marks on the real clock's second boundaries)\n"
    "  --ahead N           follow the real clock, but let the telegrams (and the trace)\n"
    "                      give the time N minutes ahead (0-1440). A receiver then sets\n"
    "                      its clock N minutes ahead; under Wine, which refuses any set\n"
    "                      more than half a second off, each set is refused and logged\n"
    "                      with its exact difference.\n"
    "  --on-open           with --pty: wait until the other side opens the port, then start\n"
    "                      at once with second 1 of the --start minute (default: the\n"
    "                      current minute), so a receiver frames its very first minute; a\n"
    "                      file played back starts from its beginning then\n"
    "  --from-second S     with --on-open, or --start without :SS: start with second S\n"
    "                      (0-59) of that minute\n"
    "  --minutes N         stop after the N-th minute mark (second 00) that follows the\n"
    "                      first mark (default: run until interrupted)\n"
    "  --tz NAME           the zone the telegram follows (default: Europe/Berlin by the\n"
    "                      built-in EU rule). Linux: any zoneinfo name. Windows: only the\n"
    "                      built-in EU rule, so only Europe/Berlin is accepted.\n"
    "  --leap              a leap second before the first hour boundary: second 59 of that\n"
    "                      minute carries a 0 bit, second 60 is silent; the hour before it\n"
    "                      carries the announcement bit 19\n"
    "\n"
    "Telegram content, faults and mark widths (P is a probability per second from 0 to 1,\n"
    "MS a number of ms from 0 to 1000; both plain decimal numbers, such as .05 or 12.5):\n"
    "  --weather           random bits 1-14, as the third-party data looks (default: zeros)\n"
    "  --drop P            a mark goes missing\n"
    "  --spurious P        an extra random character between two marks, 250-750 ms after\n"
    "                      the mark's start, as a character (not through the UART model)\n"
    "  --flip P            a mark is sent at the other length\n"
    "  --garble P          a mark's character gets a random value\n"
    "  --spikes N          interference: on average N spikes a minute (a plain decimal\n"
    "                      number from 0 to 120), 5-45 ms wide, anywhere in the minute,\n"
    "                      over marks too. A spike under 10 ms is lost (the UART checks the\n"
    "                      start bit in its middle); a longer one reads 0xFF or 0xFE.\n"
    "  --room X            a room with a PC in it (a plain decimal number from 0 to 4: 1 is\n"
    "                      a quarter hour of a module near a PC, 2 twice its noise). At 1,\n"
    "                      about 27 pulses a minute between the marks, 0-250 ms wide, most\n"
    "                      reading 0xFF or 0xFE, some like a mark; marks lost, cut short or\n"
    "                      cut in two by a gap; 1 marks worn down to 150-170 ms. About 70\n"
    "                      of its 900 seconds bring no mark's character. The noise comes in\n"
    "                      loud and quiet spells, two minutes long on average: at 1 about a\n"
    "                      third of the minutes bring every mark's character; the higher X,\n"
    "                      the more often a loud spell begins.\n"
    "  --long-mark MS      width of a 1 bit's mark (default 200)\n"
    "  --short-mark MS     width of a 0 bit's mark (default 100)\n"
    "  --jitter MS         standard deviation of a Gaussian change to each mark's width\n"
    "                      (default 0). A character is what a 50-baud UART reads for the\n"
    "                      width: data bit i is sampled 30 + 20*i ms after the mark's start\n"
    "                      and reads 0 inside it (90 ms: 0xF8, 150 ms: 0xC0, over 170 ms:\n"
    "                      0x00). With --device, widths are rounded to whole 20 ms bits.\n"
    "  --seed S            seed of the random choices (0-18446744073709551615), to repeat\n"
    "                      a run; without it a seed is taken from the clock and shown\n"
    "                      on standard error (unless --quiet)\n"
    "\n"
    "The receiving port:\n"
    "  --fifo              a built-in port's 16550 with its receive FIFO on and a trigger\n"
    "                      above one byte (8, Windows' default): a character waits in the\n"
    "                      FIFO until 4 character times (800 ms) pass with no new one; one\n"
    "                      whose stop bit read low (a framing error or break: a mark still\n"
    "                      low at 190 ms) raises the line-status interrupt as soon as it is\n"
    "                      at the FIFO's head. Either way the driver then takes all the FIFO\n"
    "                      holds. So a 1 mark of 190 ms or more reaches the program 190 ms\n"
    "                      after its second, a 0 mark (and a 1 mark of 171-190 ms) 990 ms\n"
    "                      after: the gap that follows a 1 mark looks like a minute's.\n"
    "\n"
    "Playing files (lines beginning with # are comments; a bad line is named, and nothing\n"
    "is sent; neither goes with the options that make the marks, such as --start or --drop):\n"
    "  --replay-pulses FILE  play a pulse list, one \"START_MS WIDTH_MS\" line per pulse (the\n"
    "                      receiver module's output: the line low from START_MS, in ms from\n"
    "                      the start, for WIDTH_MS), through the same UART model\n"
    "  --replay FILE       play a character recording (\"MS VALUE\" lines, as --record\n"
    "                      writes) at the recorded times, as they are: the UART's delay is\n"
    "                      in them already\n"
    "\n"
    "Other:\n"
    "  --quiet             no status line (shown when standard error is a terminal)\n"
    "  --help              this text\n"
    "\n"
    "Ctrl+C, SIGINT or SIGTERM end the run cleanly (exit status 0). A bad option, date, zone,\n"
    "device or file prints one line on standard error and exits with status 2.\n";

// Each option that takes a value.
enum ValueOption {
  kOptionPty,
  kOptionDevice,
  kOptionRecord,
  kOptionReplayPulses,
  kOptionReplay,
  kOptionStart,
  kOptionAhead,
  kOptionFromSecond,
  kOptionMinutes,
  kOptionDrop,
  kOptionSpurious,
  kOptionFlip,
  kOptionGarble,
  kOptionSpikes,
  kOptionRoom,
  kOptionSeed,
  kOptionZone,
  kOptionLongMark,
  kOptionShortMark,
  kOptionJitter,
};

// Whether an option shapes the marks, which a file played back does not take.
enum OptionRole {
  kShapesOutput,
  kShapesMarks,
};

struct ValueOptionName {
  const char* Name;
  ValueOption Option;
  OptionRole Role;
};

constexpr ValueOptionName kValueOptions[] = {
    {"--pty", kOptionPty, kShapesOutput},
    {"--device", kOptionDevice, kShapesOutput},
    {"--record", kOptionRecord, kShapesOutput},
    {"--replay-pulses", kOptionReplayPulses, kShapesOutput},
    {"--replay", kOptionReplay, kShapesOutput},
    {"--start", kOptionStart, kShapesMarks},
    {"--ahead", kOptionAhead, kShapesMarks},
    {"--from-second", kOptionFromSecond, kShapesMarks},
    {"--minutes", kOptionMinutes, kShapesMarks},
    {"--drop", kOptionDrop, kShapesMarks},
    {"--spurious", kOptionSpurious, kShapesMarks},
    {"--flip", kOptionFlip, kShapesMarks},
    {"--garble", kOptionGarble, kShapesMarks},
    {"--spikes", kOptionSpikes, kShapesMarks},
    {"--room", kOptionRoom, kShapesMarks},
    {"--seed", kOptionSeed, kShapesMarks},
    {"--tz", kOptionZone, kShapesMarks},
    {"--long-mark", kOptionLongMark, kShapesMarks},
    {"--short-mark", kOptionShortMark, kShapesMarks},
    {"--jitter", kOptionJitter, kShapesMarks},
};

struct FlagOptionName {
  const char* Name;
  bool OptionsRecord::*Flag;
  OptionRole Role;
};

constexpr FlagOptionName kFlagOptions[] = {
    {"--stdout", &OptionsRecord::Trace, kShapesOutput},
    {"--fast", &OptionsRecord::Fast, kShapesOutput},
    {"--fifo", &OptionsRecord::Fifo, kShapesOutput},
    {"--on-open", &OptionsRecord::OnOpen, kShapesOutput},
    {"--leap", &OptionsRecord::Leap, kShapesMarks},
    {"--weather", &OptionsRecord::Weather, kShapesMarks},
    {"--quiet", &OptionsRecord::Quiet, kShapesOutput},
    {"--help", &OptionsRecord::Help, kShapesOutput},
};

void NoteRole(const char* name, OptionRole role, OptionsRecord* options) {
  if (role == kShapesMarks && options->StreamOption == nullptr) {
    options->StreamOption = name;
  }
}

// Writes the message; always false, so that a check can end with `return FailWith(...)`.
bool FailWith(char* message, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, kMessageSize, format, arguments);
  va_end(arguments);
  return false;
}

// An unsigned decimal integer, all of `text`; strtoull alone would take "-1" and " 7".
bool ReadUnsigned(const char* text, uint64_t* value) {
  if (*text < '0' || *text > '9') {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') {
    return false;
  }
  *value = parsed;
  return true;
}

// A plain decimal number from 0 to `largest`, all of `text`: digits with at most one
// decimal point. strtod alone would also take a sign, an exponent, hexadecimal, inf, nan.
bool ReadDecimal(const char* text, double largest, double* value) {
  int digits = 0;
  int points = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c >= '0' && *c <= '9') {
      ++digits;
    } else if (*c == '.') {
      ++points;
    } else {
      return false;
    }
  }
  if (digits == 0 || points > 1) {
    return false;
  }
  const double parsed = std::strtod(text, nullptr);
  if (parsed > largest) {
    return false;
  }
  *value = parsed;
  return true;
}

bool StoreValue(ValueOption option, const char* name, const char* value, OptionsRecord* options,
                char* message) {
  uint64_t number = 0;
  switch (option) {
    case kOptionPty:
    case kOptionDevice:
    case kOptionRecord:
    case kOptionReplayPulses:
    case kOptionReplay:
    case kOptionZone: {
      if (*value == '\0') {
        return FailWith(message, "%s wants a name, got an empty one", name);
      }
      const char** target = option == kOptionPty            ? &options->PtyLink
                            : option == kOptionDevice       ? &options->DevicePath
                            : option == kOptionRecord       ? &options->RecordPath
                            : option == kOptionReplayPulses ? &options->ReplayPulsesPath
                            : option == kOptionReplay       ? &options->ReplayPath
                                                            : &options->Zone;
      *target = value;
      return true;
    }
    case kOptionStart:
      if (!ParseCivilTime(value, &options->Start, &options->StartHasSeconds)) {
        return FailWith(message, "%s wants a valid \"YYYY-MM-DD HH:MM[:SS]\", got '%s'", name,
                        value);
      }
      options->HasStart = true;
      return true;
    case kOptionAhead:
      if (!ReadUnsigned(value, &number) || number > kLargestAheadMinutes) {
        return FailWith(message, "%s wants a whole number of minutes from 0 to %d, got '%s'", name,
                        kLargestAheadMinutes, value);
      }
      options->AheadMinutes = static_cast<int>(number);
      options->HasAhead = true;
      return true;
    case kOptionSpikes:
      if (!ReadDecimal(value, kLargestSpikesPerMinute, &options->SpikesPerMinute)) {
        return FailWith(message, "%s wants a number of spikes a minute from 0 to %.0f, got '%s'",
                        name, kLargestSpikesPerMinute, value);
      }
      options->HasSpikes = true;
      return true;
    case kOptionRoom:
      if (!ReadDecimal(value, kLargestRoomNoise, &options->RoomNoise)) {
        return FailWith(message, "%s wants a noise level from 0 to %.0f, got '%s'", name,
                        kLargestRoomNoise, value);
      }
      options->HasRoom = true;
      return true;
    case kOptionFromSecond:
      if (!ReadUnsigned(value, &number) || number > kLastFromSecond) {
        return FailWith(message, "%s wants a second from 0 to 59, got '%s'", name, value);
      }
      options->FromSecond = static_cast<int>(number);
      return true;
    case kOptionMinutes:
      if (!ReadUnsigned(value, &number) || number == 0 || number > INT64_MAX) {
        return FailWith(message, "%s wants a whole number of minutes from 1, got '%s'", name,
                        value);
      }
      options->Minutes = static_cast<int64_t>(number);
      return true;
    case kOptionSeed:
      if (!ReadUnsigned(value, &options->Seed)) {
        return FailWith(message, "%s wants an unsigned 64-bit number, got '%s'", name, value);
      }
      options->HasSeed = true;
      return true;
    case kOptionDrop:
    case kOptionSpurious:
    case kOptionFlip:
    case kOptionGarble: {
      double* chance = option == kOptionDrop       ? &options->DropChance
                       : option == kOptionSpurious ? &options->SpuriousChance
                       : option == kOptionFlip     ? &options->FlipChance
                                                   : &options->GarbleChance;
      if (!ReadDecimal(value, 1.0, chance)) {
        return FailWith(message, "%s wants a probability from 0 to 1, got '%s'", name, value);
      }
      return true;
    }
    case kOptionLongMark:
    case kOptionShortMark:
    case kOptionJitter: {
      double* width = option == kOptionLongMark    ? &options->LongMarkMs
                      : option == kOptionShortMark ? &options->ShortMarkMs
                                                   : &options->JitterMs;
      if (!ReadDecimal(value, kLargestMarkMs, width)) {
        return FailWith(message, "%s wants a number of ms from 0 to %.0f, got '%s'", name,
                        kLargestMarkMs, value);
      }
      return true;
    }
  }
  return FailWith(message, "%s is not handled", name);
}

// Reads one argument (and its value) at argv[*index]; advances *index past what it used.
bool ReadArgument(int argc, char** argv, int* index, OptionsRecord* options, char* message) {
  const char* argument = argv[*index];
  ++*index;
  for (const FlagOptionName& flag : kFlagOptions) {
    if (std::strcmp(argument, flag.Name) == 0) {
      options->*flag.Flag = true;
      NoteRole(flag.Name, flag.Role, options);
      return true;
    }
  }
  for (const ValueOptionName& known : kValueOptions) {
    const size_t length = std::strlen(known.Name);
    if (std::strncmp(argument, known.Name, length) != 0) {
      continue;
    }
    if (argument[length] != '=' && argument[length] != '\0') {
      continue;
    }
    NoteRole(known.Name, known.Role, options);
    if (argument[length] == '=') {
      return StoreValue(known.Option, known.Name, argument + length + 1, options, message);
    }
    if (*index >= argc) {
      return FailWith(message, "%s wants a value", known.Name);
    }
    const char* value = argv[*index];
    ++*index;
    return StoreValue(known.Option, known.Name, value, options, message);
  }
  if (std::strncmp(argument, "--", 2) != 0) {
    return FailWith(message, "unexpected argument '%s' (see --help)", argument);
  }
  return FailWith(message, "unknown option '%s' (see --help)", argument);
}

// The checks between options, once all are read.
bool CheckCombination(const OptionsRecord& options, char* message) {
  const bool line = options.PtyLink != nullptr || options.DevicePath != nullptr;
  const char* played = options.ReplayPath != nullptr         ? "--replay"
                       : options.ReplayPulsesPath != nullptr ? "--replay-pulses"
                                                             : nullptr;
  if (!line && !options.Trace && options.RecordPath == nullptr) {
    return FailWith(message,
                    "no output: give --pty LINK, --device PATH, --stdout or --record FILE");
  }
  if (options.PtyLink != nullptr && options.DevicePath != nullptr) {
    return FailWith(message, "--pty and --device exclude each other");
  }
  if (options.Fast && line) {
    return FailWith(message, "--fast goes only with --stdout or --record, not with a port");
  }
  if (options.DevicePath != nullptr) {
    const char* modelled = options.HasSpikes                     ? "--spikes"
                           : options.HasRoom                     ? "--room"
                           : options.Fifo                        ? "--fifo"
                           : options.ReplayPulsesPath != nullptr ? "--replay-pulses"
                                                                 : nullptr;
    if (modelled != nullptr) {
      return FailWith(message,
                      "%s models the receiving UART, which --device leaves to the real port",
                      modelled);
    }
  }
  if (options.ReplayPath != nullptr && options.ReplayPulsesPath != nullptr) {
    return FailWith(message, "--replay and --replay-pulses exclude each other");
  }
  if (played != nullptr && options.StreamOption != nullptr) {
    return FailWith(message, "%s plays the file as it is: %s does not go with it", played,
                    options.StreamOption);
  }
  if (options.Fifo && options.ReplayPath != nullptr) {
    return FailWith(message, "--fifo does not go with --replay, whose times are the port's own");
  }
  if (options.OnOpen && options.PtyLink == nullptr) {
    return FailWith(message, "--on-open needs --pty");
  }
  if (options.HasAhead && options.HasStart) {
    return FailWith(message, "--ahead follows the real clock: it does not go with --start");
  }
  if (options.FromSecond != kNoFromSecond && !options.HasStart && !options.OnOpen) {
    return FailWith(message, "--from-second needs --start or --on-open");
  }
  if (options.FromSecond != kNoFromSecond && options.StartHasSeconds) {
    return FailWith(message, "give the first second either in --start or by --from-second");
  }
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, OptionsRecord* options, char* message) {
  OptionsRecord parsed = {};
  parsed.FromSecond = kNoFromSecond;
  parsed.LongMarkMs = kLongMarkMs;
  parsed.ShortMarkMs = kShortMarkMs;
  int index = 1;
  while (index < argc) {
    if (!ReadArgument(argc, argv, &index, &parsed, message)) {
      return false;
    }
  }
  if (!parsed.Help && !CheckCombination(parsed, message)) {
    return false;
  }
  *options = parsed;
  return true;
}

const char* GetHelpText() {
  return kHelpText;
}
