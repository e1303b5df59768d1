#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(CommandLineTest, PortArgument) {
  const std::string long_name(300, 'a');
  struct Case {
    std::string line;
    unsigned port;
  };
  const std::vector<Case> kCases = {
      {"horax.exe 3", 3},
      {"horax.exe 1", 1},
      {"horax.exe 4", 4},
      // Wrong count, length or value.
      {"", 0},
      {"horax.exe", 0},
      {"horax.exe   ", 0},
      {"horax.exe 1 2", 0},
      {"horax.exe 12", 0},
      {"horax.exe 0", 0},
      {"horax.exe 5", 0},
      {"horax.exe A", 0},
      {"horax.exe +", 0},
      // Blanks, tabs and every control character separate, in runs.
      {"horax.exe \t\x01\x1F 2 \r\n", 2},
      {"horax.exe 2\x7F", 0},  // DEL is an ordinary character
      // Characters 128 to 255 are ordinary.
      {"h\xE9rax.exe 2", 2},
      {"horax.exe \xB3", 0},
      {"horax.exe 2\xA0", 0},
      // Quotes.
      {"\"C:\\Program Files\\horax\\horax.exe\" 3", 3},
      {"\"C:\\Program Files\\horax\\horax.exe\"\t\t3", 3},
      {"horax.exe \"3\"", 3},
      {"horax.exe \"3 \"", 0},
      {"horax.exe \"\" 3", 3},
      {"horax.exe 3 \"\"", 3},
      {"horax.exe \"\"3", 3},
      {"horax.exe 3\"\"", 3},
      {"horax.exe \"3", 3},          // unclosed at the end of the line
      {"\"C:\\Program Files 3", 0},  // unclosed path swallows the rest
      // Longer than the buffer: cut, and the count and length still decide.
      {"\"C:\\" + long_name + "\\horax.exe\" 2", 2},
      {"horax.exe " + long_name, 0},
      {"horax.exe 2" + long_name, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ReadPortArgument(c.line.c_str()), c.port);
  }
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> arguments;
  char buffer[kArgumentBufferSize];
  const char* cursor = line.c_str();
  while (ReadArgument(&cursor, buffer) != 0) {
    arguments.push_back(buffer);
  }
  return arguments;
}

TEST(CommandLineTest, ArgumentsAreSplitByTheQuotingRules) {
  struct Case {
    std::string line;
    std::vector<std::string> arguments;
  };
  const std::vector<Case> kCases = {
      {"a b  c", {"a", "b", "c"}},
      {"ab\"c d\"e f", {"abc de", "f"}},
      {"\"\" a \"\"\"\" b", {"a", "b"}},
      {"a\"\"b", {"ab"}},
      {"\"a b", {"a b"}},
      {"a\x01"
       "b\x20"
       "c",
       {"a", "b", "c"}},
      {std::string("a\0b", 3), {"a"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Split(c.line), c.arguments);
  }
}

TEST(CommandLineTest, LongArgumentIsCutAtTheBufferEnd) {
  const std::string line = std::string(300, 'x') + " 7";
  struct {
    char buffer[kArgumentBufferSize];
    char guard[16];
  } memory;
  std::memset(&memory, '#', sizeof memory);

  const char* cursor = line.c_str();
  EXPECT_EQ(ReadArgument(&cursor, memory.buffer), 300u);
  EXPECT_EQ(std::strlen(memory.buffer), kArgumentBufferSize - 1);
  EXPECT_EQ(std::string(memory.guard, sizeof memory.guard), std::string(16, '#'));
  EXPECT_EQ(ReadArgument(&cursor, memory.buffer), 1u);
  EXPECT_STREQ(memory.buffer, "7");
}

}  // namespace
