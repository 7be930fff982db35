#include "endpoint/if_none_match.h"

#include <gtest/gtest.h>

using endpoint::ifNoneMatchMatches;

TEST(IfNoneMatchTest, MatchesExactListedWeakAndStar) {
  EXPECT_TRUE(ifNoneMatchMatches("\"abc\"", "\"abc\""));
  EXPECT_TRUE(ifNoneMatchMatches("\"x\", \"abc\"", "\"abc\""));
  EXPECT_TRUE(ifNoneMatchMatches("\"x\",\"abc\"", "\"abc\""));
  EXPECT_TRUE(ifNoneMatchMatches("W/\"abc\"", "\"abc\""));
  EXPECT_TRUE(ifNoneMatchMatches("*", "\"abc\""));
}

TEST(IfNoneMatchTest, OtherTagsAndMalformedValuesDoNotMatch) {
  EXPECT_FALSE(ifNoneMatchMatches("", "\"abc\""));
  EXPECT_FALSE(ifNoneMatchMatches("\"abcd\"", "\"abc\""));
  EXPECT_FALSE(ifNoneMatchMatches("abc", "\"abc\""));
  EXPECT_FALSE(ifNoneMatchMatches("\"abc", "\"abc\""));
  // A comma inside a quoted tag does not split it.
  EXPECT_FALSE(ifNoneMatchMatches("\"x,\"abc\"\"", "\"abc\""));
}
