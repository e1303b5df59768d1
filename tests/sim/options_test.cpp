// The command line: values, the forms --opt VALUE and --opt=VALUE, and the checks between
// options, each with the message it gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

struct ArgumentsCase {
  std::vector<const char*> Arguments;
  const char* Message;  // nullptr when the line is accepted
};

const ArgumentsCase kCases[] = {
    {{"--stdout"}, nullptr},
    {{"--help"}, nullptr},
    {{"--pty", "/tmp/x", "--on-open", "--from-second", "56", "--minutes=3"}, nullptr},
    {{"--stdout", "--fast", "--start", "2026-03-29 01:59:30", "--drop=0.5", "--seed", "7"},
     nullptr},
    {{}, "no output: give --pty LINK, --device PATH or --stdout"},
    {{"--stdout", "--bogus"}, "unknown option '--bogus' (see --help)"},
    {{"--pty"}, "--pty wants a value"},
    {{"--pty", "a", "--device", "b"}, "--pty and --device exclude each other"},
    {{"--pty", "a", "--fast"}, "--fast goes only with --stdout alone"},
    {{"--stdout", "--on-open"}, "--on-open needs --pty"},
    {{"--stdout", "--from-second", "3"}, "--from-second needs --start or --on-open"},
    {{"--stdout", "--start", "2026-03-29 01:59:30", "--from-second", "3"},
     "give the first second either in --start or by --from-second"},
    {{"--stdout", "--drop", "1.5"}, "--drop wants a probability from 0 to 1, got '1.5'"},
    {{"--stdout", "--flip=-0"}, "--flip wants a probability from 0 to 1, got '-0'"},
    {{"--stdout", "--minutes", "0"}, "--minutes wants a whole number of minutes from 1, got '0'"},
    {{"--stdout", "--seed", "18446744073709551616"},
     "--seed wants an unsigned 64-bit number, got '18446744073709551616'"},
    {{"--stdout", "--on-open", "--pty", "a", "--from-second", "60"},
     "--from-second wants a second from 0 to 59, got '60'"},
    {{"--stdout", "--tz="}, "--tz wants a name, got an empty one"},
};

bool Parse(std::vector<const char*> arguments, OptionsRecord* options, std::string* message) {
  arguments.insert(arguments.begin(), "dcf77sim");
  char text[kMessageSize] = {};
  const bool ok = ParseOptions(static_cast<int>(arguments.size()),
                               const_cast<char**>(arguments.data()), options, text);
  *message = text;
  return ok;
}

TEST(ParseOptions, AcceptsOrNamesTheProblem) {
  for (const ArgumentsCase& c : kCases) {
    OptionsRecord options = {};
    std::string message;
    const bool ok = Parse(c.Arguments, &options, &message);
    EXPECT_EQ(ok, c.Message == nullptr) << message;
    if (c.Message != nullptr) {
      EXPECT_EQ(message, c.Message);
    }
  }
}

// The options the command-line tests do not run through.
TEST(ParseOptions, StoresTheFaultsAndTheSeed) {
  const std::vector<const char*> arguments = {
      "--stdout",   "--weather", "--drop", "0.1",    "--spurious",          ".2",
      "--flip=0.3", "--garble",  "1",      "--seed", "18446744073709551615"};
  OptionsRecord options = {};
  std::string message;
  ASSERT_TRUE(Parse(arguments, &options, &message)) << message;
  EXPECT_TRUE(options.Trace && options.Weather);
  EXPECT_DOUBLE_EQ(options.DropChance, 0.1);
  EXPECT_DOUBLE_EQ(options.SpuriousChance, 0.2);
  EXPECT_DOUBLE_EQ(options.FlipChance, 0.3);
  EXPECT_DOUBLE_EQ(options.GarbleChance, 1.0);
  EXPECT_EQ(options.Seed, UINT64_MAX);
}

}  // namespace
