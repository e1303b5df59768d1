// The port number read from any command line: its bytes up to the first zero.
#include <cstdlib>
#include <string>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const unsigned port = ReadPortArgument(line.c_str(), "C:\\Program Files\\horax\\horax.exe");
  if (port > 4 || (port != 0 && line.find(static_cast<char>('0' + port)) == std::string::npos)) {
    std::abort();
  }
  return 0;
}
