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

// Tests that every word reaches the program as exactly one argument, byte for byte, through
// smart_quote() and argv2cmdline() alike, and that the shell acts on none of them.
TEST(CommandLineTest, HostileWordsSurviveTheShell) {
  const ScopedTempDir dir;
  const std::string d = dir.path();
  writeFile(dir / "record.sh", "out=$1; shift; printf '%s\\0' \"$@\" > \"$out\"\n");
  // clang-format off
  std::vector<std::string> words = {"a b", "\"", "\\", "a\\", "'", "$HOME", "${HOME}", "$(touch " + d + "/p1)",
      "`touch " + d + "/p2`", "x;touch " + d + "/p3", "a|touch " + d + "/p4", "&touch " + d + "/p5", "\ntouch " + d + "/p6",
      ">" + d + "/p7", d + "/*", d + "/record.s?", d + "/[r]ecord.sh", "~", "#c", "!", "{a,b}", "a\nb", "-n", " ", "\\$(id)"};
  // clang-format on
  std::mt19937 random(20261206);
  for (int i = 0; i < 200; ++i) {
    std::string word(1 + random() % 24, ' ');
    for (char& byte : word) {
      byte = static_cast<char>(1 + random() % 255);  // no NUL: no argument can hold one
    }
    words.push_back(word);
  }
  std::string line = "sh " + smart_quote(dir / "record.sh") + " " + smart_quote(dir / "args");
  std::vector<const char*> argv = {"prog"};
  for (const std::string& word : words) {
    line += " " + smart_quote(word);
    argv.push_back(word.c_str());
  }
  ASSERT_EQ(
      0, call_system("sh", line + " " + argv2cmdline(static_cast<int>(argv.size()), argv.data())));
  std::vector<std::string> expected = words;
  expected.insert(expected.end(), words.begin(), words.end());
  EXPECT_EQ(expected, splitNul(readFile(dir / "args")));
  EXPECT_EQ((std::vector<std::string>{"args", "record.sh"}), listDir(d));
}
