#include "endpoint/if_none_match.h"

#include <gtest/gtest.h>

TEST(IfNoneMatchTest, MatchesTheTagWeaklyOrAnyTag) {
  // clang-format off
  const std::pair<const char*, bool> rows[] = {
      {"\"abc\"", true}, {"\"x\", \"abc\"", true}, {"\"x\",\"abc\"", true}, {"W/\"abc\"", true}, {"*", true},
      {"", false}, {"\"abcd\"", false}, {"abc", false}, {"\"abc", false}, {"\"x,\"abc\"\"", false}};  // a comma inside a tag splits nothing
  // clang-format on
  for (const auto& [field, matches] : rows) {
    EXPECT_EQ(matches, endpoint::ifNoneMatchMatches(field, "\"abc\"")) << field;
  }
}
