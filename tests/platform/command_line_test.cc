#include "platform/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <vector>

#include "support/files.h"
#include "support/scoped_temp_dir.h"

using testing_support::ScopedTempDir;

namespace {

// Strings that a careless quote would let the shell act on or change.
std::vector<std::string> hostileWords(const std::string& victimDir) {
  return {
      "a b",
      "a\tb",
      "a\"b",
      "a\\b",
      "a\\",
      "\\\"",
      "$HOME",
      "${HOME}",
      "$(touch " + victimDir + "/p1)",
      "`touch " + victimDir + "/p2`",
      "x;touch " + victimDir + "/p3",
      "a|touch " + victimDir + "/p4",
      "&touch " + victimDir + "/p5",
      "\ntouch " + victimDir + "/p6",
      ">" + victimDir + "/p7",
      "<",
      "*",
      "?",
      "[a]",
      "~",
      "~root",
      "#comment",
      "'",
      "''",
      "\"\"",
      "a\nb",
      "a\rb",
      "\x01\x7f",
      "!",
      "{a,b}",
      "a=b",
      "-n",
      "--",
      "\xff\xfe caf\xc3\xa9",
      " ",
      "\t",
      "$'x'",
      "\"$(id)\"",
      "\\$(id)",
      "%s%n",
  };
}

std::vector<std::string> randomWords(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> length(1, 24);
  std::uniform_int_distribution<int> byte(1, 255);  // no NUL: no argument can hold one
  std::vector<std::string> words;
  for (size_t i = 0; i < count; ++i) {
    std::string word;
    for (int n = length(generator); n > 0; --n) {
      word += static_cast<char>(byte(generator));
    }
    words.push_back(word);
  }
  return words;
}

class ShellRoundTripTest : public testing::Test {
 protected:
  void SetUp() override {
    recorder_ = dir_ / "record.sh";
    testing_support::writeFile(recorder_, "out=$1; shift; printf '%s\\0' \"$@\" > \"$out\"\n");
    testing_support::makeDirs(dir_ / "cwd");
    ASSERT_EQ(0, ::chdir((dir_ / "cwd").c_str()));
  }
  void TearDown() override { ::chdir("/"); }

  // What the child received when the shell ran the recorder with this tail.
  std::vector<std::string> received(const std::string& tail) {
    const std::string out = dir_ / "args";
    ::unlink(out.c_str());
    const int status =
        call_system("sh", "sh " + smart_quote(recorder_) + " " + smart_quote(out) + " " + tail);
    EXPECT_EQ(0, status) << tail;
    return testing_support::splitNul(testing_support::readFile(out));
  }

  ScopedTempDir dir_;
  std::string recorder_;
};

}  // namespace

TEST(SmartQuoteTest, OrdinaryWordsStayBare) {
  EXPECT_EQ("abc", smart_quote("abc"));
  EXPECT_EQ("/usr/local/bin/unzip", smart_quote("/usr/local/bin/unzip"));
  EXPECT_EQ("a-b_c.d+e,f:g@h%i", smart_quote("a-b_c.d+e,f:g@h%i"));
  EXPECT_EQ("caf\xc3\xa9", smart_quote("caf\xc3\xa9"));
  EXPECT_EQ("", smart_quote(""));
}

TEST(SmartQuoteTest, BlanksWrapWithoutChange) {
  EXPECT_EQ("\"a b\"", smart_quote("a b"));
  EXPECT_EQ("\"a\tb\"", smart_quote("a\tb"));
  EXPECT_EQ("\"/Applications/My Setup.app\"", smart_quote("/Applications/My Setup.app"));
}

TEST(SmartQuoteTest, ShellSpecialsAreWrappedAndEscaped) {
  EXPECT_EQ("\"a\\\"b\"", smart_quote("a\"b"));
  EXPECT_EQ("\"a\\\\b\"", smart_quote("a\\b"));
  EXPECT_EQ("\"\\$(id)\"", smart_quote("$(id)"));
  EXPECT_EQ("\"\\`id\\`\"", smart_quote("`id`"));
  EXPECT_EQ("\"x;y\"", smart_quote("x;y"));
  EXPECT_EQ("\"a\nb\"", smart_quote("a\nb"));
  EXPECT_EQ("\"'\"", smart_quote("'"));
}

TEST(Argv2CmdlineTest, KeepsItsFormAndSkipsProgramName) {
  const char* none[] = {"prog"};
  EXPECT_EQ("", argv2cmdline(1, none));
  EXPECT_EQ("", argv2cmdline(0, nullptr));
  const char* two[] = {"prog", "-v", "my file"};
  EXPECT_EQ("\"-v\" \"my file\" ", argv2cmdline(3, two));
  const char* empty[] = {"prog", ""};
  EXPECT_EQ("\"\" ", argv2cmdline(2, empty));
  const char* special[] = {"prog", "a\"b$c`d\\e"};
  EXPECT_EQ("\"a\\\"b\\$c\\`d\\\\e\" ", argv2cmdline(2, special));
}

TEST(CallSystemTest, ReturnsTheRawStatusOfTheShell) {
  EXPECT_EQ(0, call_system("anything", "true"));
  const int status = call_system("ignored", "sh -c 'exit 3'");
  EXPECT_NE(0, status);
  EXPECT_EQ(3, WEXITSTATUS(status));
}

// Tests that the shell becomes the program it runs, so that the program is the child that a
// termination reaches.
TEST(CallSystemTest, TheChildIsTheProgramItself) {
  const ScopedTempDir dir;
  const std::string pidFile = dir / "pids";
  // $PPID of the program is the process that call_system started, if the shell exec'd it.
  ASSERT_EQ(0, call_system("sh", "sh -c " + smart_quote("echo $PPID > " + pidFile)));
  const int parent = std::stoi(testing_support::readFile(pidFile));
  EXPECT_EQ(::getpid(), parent);
}

TEST(CallSystemTest, RefusesCommandLinesWithNul) {
  EXPECT_EQ(-1, call_system("sh", std::string("true\0; false", 12)));
}

// Tests that every word reaches the child as exactly one argument, unchanged, and that the
// shell acts on none of them.
TEST_F(ShellRoundTripTest, SmartQuotedWordsArriveUnchanged) {
  std::vector<std::string> words = hostileWords(dir_.path());
  const std::vector<std::string> random = randomWords(400, 20261206);
  words.insert(words.end(), random.begin(), random.end());
  for (size_t start = 0; start < words.size(); start += 40) {
    const size_t end = std::min(words.size(), start + 40);
    std::string tail;
    for (size_t i = start; i < end; ++i) {
      tail += smart_quote(words[i]) + " ";
    }
    const std::vector<std::string> expected(words.begin() + static_cast<long>(start),
                                            words.begin() + static_cast<long>(end));
    EXPECT_EQ(expected, received(tail));
  }
  EXPECT_EQ((std::vector<std::string>{"args", "cwd", "record.sh"}),
            testing_support::listDir(dir_.path()));
  EXPECT_TRUE(testing_support::listDir(dir_ / "cwd").empty());
}

TEST_F(ShellRoundTripTest, Argv2CmdlineArgumentsArriveUnchanged) {
  std::vector<std::string> words = hostileWords(dir_.path());
  words.push_back("");
  const std::vector<std::string> random = randomWords(200, 7);
  words.insert(words.end(), random.begin(), random.end());
  std::vector<const char*> argv = {"program-name"};
  for (const std::string& word : words) {
    argv.push_back(word.c_str());
  }
  EXPECT_EQ(words, received(argv2cmdline(static_cast<int>(argv.size()), argv.data())));
  EXPECT_EQ((std::vector<std::string>{"args", "cwd", "record.sh"}),
            testing_support::listDir(dir_.path()));
}
