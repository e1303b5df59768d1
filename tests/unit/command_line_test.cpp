#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(CommandLineTest, PortArgument) {
  const char kProgram[] = "C:\\Program Files\\horax\\horax.exe";  // as the system loaded it
  struct Case {
    std::string line;
    unsigned port;
  };
  const std::vector<Case> kCases = {
      {"horax.exe 1", 1},
      {"\"C:\\Program Files\\horax.exe\"\t4 ", 4},
      {"horax.exe 1 2", 0},
      {"horax.exe 12", 0},
      {"horax.exe 5", 0},
      // Longer than the buffer: cut, and the count and length still decide.
      {"\"C:\\" + std::string(300, 'a') + "\\horax.exe\" 2", 2},
      // Its own path quoted, unquoted with spaces, short; another path is split as ever.
      {"\"C:\\Program Files\\horax\\horax.exe\" 2", 2},
      {"C:\\Program Files\\horax\\horax.exe 2", 2},
      {"c:\\program files\\HORAX\\horax 3", 3},
      {"C:\\PROGRA~1\\horax\\horax.exe 2", 2},
      {"C:\\Program Files\\horax\\horax.exe 1 2", 0},
      {"C:\\Program Files\\horax\\horax.exe2", 0},
      {"C:\\Other Files\\horax.exe 2", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ReadPortArgument(c.line.c_str(), kProgram), c.port);
  }
}

// Each argument's full length and the text kept. The buffer has exactly its size, so that
// the sanitizer build sees any write past its end, and is filled first, so that a missing
// or misplaced terminator shows.
std::vector<std::pair<size_t, std::string>> Split(const std::string& line) {
  std::vector<std::pair<size_t, std::string>> arguments;
  const char* cursor = line.c_str();
  for (;;) {
    std::vector<char> buffer(kArgumentBufferSize, '#');
    const size_t length = ReadArgument(&cursor, buffer.data());
    if (length == 0) {
      return arguments;
    }
    arguments.emplace_back(length,
                           std::string(buffer.begin(), std::find(buffer.begin(), buffer.end(), 0)));
  }
}

TEST(CommandLineTest, ArgumentsAreSplitByTheQuotingRulesAndCutToTheBuffer) {
  const std::string x(kArgumentBufferSize - 1, 'x');  // the most a buffer keeps
  struct Case {
    std::string line;
    std::vector<std::pair<size_t, std::string>> arguments;
  };
  const std::vector<Case> kCases = {
      {"ab\"c d\"e f", {{6, "abc de"}, {1, "f"}}},
      {"\"\" a \"\"\"\" b", {{1, "a"}, {1, "b"}}},
      {"a\"\"b", {{2, "ab"}}},
      {"\"a b", {{3, "a b"}}},  // unclosed at the end of the line
      // Codes 1 to 32 separate; 127 and above are ordinary, and 0 ends the line.
      {"\t\x01x\x1F\r\n\x7F\xE9 ", {{1, "x"}, {2, "\x7F\xE9"}}},
      {x + " " + x + "y " + x + "yz", {{255, x}, {256, x}, {257, x}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Split(c.line), c.arguments);
  }
}

}  // namespace
