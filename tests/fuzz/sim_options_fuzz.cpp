// dcf77sim's command line from any bytes, split at zeros into arguments: a refusal comes
// with a message, an accepted line within the options' ranges, and a date that parses is
// written exactly as it was read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "civil_time.h"
#include "options.h"

namespace {

void CheckDate(const char* text) {
  CivilTimeRecord civil;
  bool has_seconds = false;
  if (!ParseCivilTime(text, &civil, &has_seconds)) {
    return;
  }
  char written[32];
  std::snprintf(written, sizeof written, "%04d-%02d-%02d %02d:%02d:%02d", civil.Year, civil.Month,
                civil.Day, civil.Hour, civil.Minute, civil.Second);
  const size_t length = std::strlen(text);
  if (length != (has_seconds ? 19u : 16u) || std::strncmp(written, text, length) != 0 ||
      civil.Weekday != FindWeekday(CountDaysFromCivil(civil.Year, civil.Month, civil.Day))) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<char*> argv = {const_cast<char*>("dcf77sim")};
  size_t start = 0;
  do {
    argv.push_back(&bytes[start]);
    CheckDate(argv.back());
    start = bytes.find('\0', start) + 1;  // 0 (npos + 1) after the last argument
  } while (start != 0);
  OptionsRecord options = {};
  char message[kMessageSize] = {};
  const bool accepted = ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, message);
  const double chances[] = {options.DropChance, options.SpuriousChance, options.FlipChance,
                            options.GarbleChance};
  for (const double chance : chances) {
    if (accepted && !(chance >= 0 && chance <= 1)) {
      std::abort();
    }
  }
  if (accepted
          ? options.FromSecond < kNoFromSecond || options.FromSecond > 59 || options.Minutes < 0
          : message[0] == '\0' || std::memchr(message, '\0', kMessageSize) == nullptr) {
    std::abort();
  }
  return 0;
}
