// dcf77sim's command line from any bytes, split at zeros into arguments: a refusal comes
// with a message, an accepted line keeps the options' ranges, and an argument that parses
// as a date is written exactly as it was read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "civil_time.h"
#include "options.h"

namespace {

bool IsWrittenAsRead(const char* text) {
  CivilTimeRecord t;
  bool has_seconds = false;
  if (!ParseCivilTime(text, &t, &has_seconds)) {
    return true;
  }
  char written[32];
  std::snprintf(written, sizeof written,
                has_seconds ? "%04d-%02d-%02d %02d:%02d:%02d" : "%04d-%02d-%02d %02d:%02d", t.Year,
                t.Month, t.Day, t.Hour, t.Minute, t.Second);
  return std::strcmp(written, text) == 0 &&
         t.Weekday == FindWeekday(CountDaysFromCivil(t.Year, t.Month, t.Day));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<char*> argv = {const_cast<char*>("dcf77sim")};
  size_t start = 0;
  do {
    argv.push_back(&bytes[start]);
    if (!IsWrittenAsRead(argv.back())) {
      std::abort();
    }
    start = bytes.find('\0', start) + 1;  // 0 (npos + 1) after the last argument
  } while (start != 0);
  OptionsRecord o = {};
  char message[kMessageSize] = {};
  if (ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, message)
          ? o.FromSecond < kNoFromSecond || o.FromSecond > 59 || o.Minutes < 0 ||
                !(o.DropChance <= 1 && o.SpuriousChance <= 1 && o.FlipChance <= 1 &&
                  o.GarbleChance <= 1)
          : message[0] == '\0') {
    std::abort();
  }
  return 0;
}
