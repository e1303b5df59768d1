// dcf77sim's command line from any bytes, split at zeros into arguments: a refusal comes
// with a message, and an argument that parses as a date is written back as it was read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "civil_time.h"
#include "options.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<char*> argv = {const_cast<char*>("dcf77sim")};
  size_t start = 0;
  do {
    char* argument = &bytes[start];
    argv.push_back(argument);
    CivilTimeRecord t;
    bool has_seconds = false;
    char written[32];
    if (ParseCivilTime(argument, &t, &has_seconds)) {
      std::snprintf(written, sizeof written, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month,
                    t.Day, t.Hour, t.Minute, t.Second);
      written[has_seconds ? 19 : 16] = '\0';
      if (std::strcmp(written, argument) != 0) {
        std::abort();
      }
    }
    start = bytes.find('\0', start) + 1;  // 0 (npos + 1) after the last argument
  } while (start != 0);
  OptionsRecord options = {};
  char message[kMessageSize] = {};
  if (!ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, message) &&
      message[0] == '\0') {
    std::abort();
  }
  return 0;
}
