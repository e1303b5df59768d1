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
    "A stand-in for a DCF77 receiver module on a 50-baud serial line: at every second mark\n"
    "it sends the character the module's UART reads, 0x00 for a 200 ms mark (bit 1) and\n"
    "0xF0 for a 100 ms mark (bit 0), and nothing in second 59. The telegram sent during a\n"
    "minute gives the time of the minute that begins at the next mark. A character goes\n"
    "out at its mark's start; a real module's is complete some 200 ms later.\n"
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
    "  --stdout            a trace on standard output, one line per second:\n"
    "                        YYYY-MM-DD HH:MM:SS SS BIT CHAR\n"
    "                      the wall-clock time of the second, its number (00-60), the bit\n"
    "                      (0, 1, or - in the silent second) and the character sent (0x00,\n"
    "                      0xF0, ..., or - for none). A spurious character adds a line\n"
    "                      with -- for the second and - for the bit.\n"
    "  --fast              with --stdout alone: print without waiting for real time.\n"
    "\n"
    "Time:\n"
    "  --start \"YYYY-MM-DD HH:MM[:SS]\"\n"
    "                      the wall-clock time of the first mark (default: now, with the\n"
    "                      marks on the real clock's second boundaries)\n"
    "  --on-open           with --pty: wait until the other side opens the port, then start\n"
    "                      at once with second 1 of the --start minute (default: the\n"
    "                      current minute), so a receiver frames its very first minute\n"
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
    "  --spurious P        an extra random character between two marks\n"
    "  --flip P            a mark is sent at the other length\n"
    "  --garble P          a mark's character gets a random value\n"
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
    "Other:\n"
    "  --quiet             no status line (shown when standard error is a terminal)\n"
    "  --help              this text\n"
    "\n"
    "Ctrl+C, SIGINT or SIGTERM end the run cleanly (exit status 0). A bad option, date, zone\n"
    "or device prints one line on standard error and exits with status 2.\n";

// Each option that takes a value.
enum ValueOption {
  kOptionPty,
  kOptionDevice,
  kOptionStart,
  kOptionFromSecond,
  kOptionMinutes,
  kOptionDrop,
  kOptionSpurious,
  kOptionFlip,
  kOptionGarble,
  kOptionSeed,
  kOptionZone,
  kOptionLongMark,
  kOptionShortMark,
  kOptionJitter,
};

struct ValueOptionName {
  const char* Name;
  ValueOption Option;
};

constexpr ValueOptionName kValueOptions[] = {
    {"--pty", kOptionPty},
    {"--device", kOptionDevice},
    {"--start", kOptionStart},
    {"--from-second", kOptionFromSecond},
    {"--minutes", kOptionMinutes},
    {"--drop", kOptionDrop},
    {"--spurious", kOptionSpurious},
    {"--flip", kOptionFlip},
    {"--garble", kOptionGarble},
    {"--seed", kOptionSeed},
    {"--tz", kOptionZone},
    {"--long-mark", kOptionLongMark},
    {"--short-mark", kOptionShortMark},
    {"--jitter", kOptionJitter},
};

struct FlagOptionName {
  const char* Name;
  bool OptionsRecord::*Flag;
};

constexpr FlagOptionName kFlagOptions[] = {
    {"--stdout", &OptionsRecord::Trace},    {"--fast", &OptionsRecord::Fast},
    {"--on-open", &OptionsRecord::OnOpen},  {"--leap", &OptionsRecord::Leap},
    {"--weather", &OptionsRecord::Weather}, {"--quiet", &OptionsRecord::Quiet},
    {"--help", &OptionsRecord::Help},
};

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
    case kOptionZone:
      if (*value == '\0') {
        return FailWith(message, "%s wants a name, got an empty one", name);
      }
      if (option == kOptionPty) {
        options->PtyLink = value;
      } else if (option == kOptionDevice) {
        options->DevicePath = value;
      } else {
        options->Zone = value;
      }
      return true;
    case kOptionStart:
      if (!ParseCivilTime(value, &options->Start, &options->StartHasSeconds)) {
        return FailWith(message, "%s wants a valid \"YYYY-MM-DD HH:MM[:SS]\", got '%s'", name,
                        value);
      }
      options->HasStart = true;
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
      return true;
    }
  }
  for (const ValueOptionName& known : kValueOptions) {
    const size_t length = std::strlen(known.Name);
    if (std::strncmp(argument, known.Name, length) != 0) {
      continue;
    }
    if (argument[length] == '=') {
      return StoreValue(known.Option, known.Name, argument + length + 1, options, message);
    }
    if (argument[length] != '\0') {
      continue;
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
  if (!line && !options.Trace) {
    return FailWith(message, "no output: give --pty LINK, --device PATH or --stdout");
  }
  if (options.PtyLink != nullptr && options.DevicePath != nullptr) {
    return FailWith(message, "--pty and --device exclude each other");
  }
  if (options.Fast && (line || !options.Trace)) {
    return FailWith(message, "--fast goes only with --stdout alone");
  }
  if (options.OnOpen && options.PtyLink == nullptr) {
    return FailWith(message, "--on-open needs --pty");
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
