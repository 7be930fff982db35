#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <random>

#include "support/files.h"

using namespace testing_support;

TEST(CommandLineTest, SmartQuote) {
  // clang-format off
  const std::pair<std::string, std::string> rows[] = {
      {"", ""}, {"azAZ09", "azAZ09"}, {"/usr/bin/unzip", "/usr/bin/unzip"}, {"a-b_c.d+e,f:g@h%i", "a-b_c.d+e,f:g@h%i"},
      {"caf\xc3\xa9\x80", "caf\xc3\xa9\x80"}, {"a b", "\"a b\""}, {"a\tb", "\"a\tb\""}, {"a\nb", "\"a\nb\""}, {"x;y", "\"x;y\""},
      {"'", "\"'\""}, {"[", "\"[\""}, {"{", "\"{\""}, {"\x7f", "\"\x7f\""}, {"a\"b", "\"a\\\"b\""}, {"a\\b", "\"a\\\\b\""},
      {"$(id)", "\"\\$(id)\""}, {"`id`", "\"\\`id\\`\""}};
  // clang-format on
  for (const auto& [word, quoted] : rows) {
    EXPECT_EQ(quoted, smart_quote(word)) << word;
  }
}

TEST(CommandLineTest, Argv2CmdlineAndCallSystem) {
  const char* argv[] = {"prog", "-v", "a\"b$c`d\\e", ""};
  EXPECT_EQ("\"-v\" \"a\\\"b\\$c\\`d\\\\e\" \"\" ", argv2cmdline(4, argv));
  EXPECT_EQ("", argv2cmdline(1, argv));
  EXPECT_EQ(3 << 8, call_system("sh", "sh -c 'exit 3'"));  // the raw status
  EXPECT_EQ(-1, call_system("sh", std::string("true\0; false", 12)));
}
