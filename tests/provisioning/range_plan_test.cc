#include "provisioning/range_plan.h"

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

// The proof: the new archive made from the kept one and its fetched ranges alone, byte for
// byte, with b changed (as long: only its crc32 tells), g added, d2 gone; c and d side by side in
// both archives, d and f only in the new one.
TEST(RangePlanTest, AssemblesTheNewArchiveFromTheKeptOne) {
  const ScopedTempDir dir;
  ASSERT_EQ(0,
            runShell("cd " + dir.path() + " && for f in a:3000 b:500 c:2500 d:2500 d2:1 f:100; " +
                     "do head -c ${f#*:} /dev/urandom >${f%:*}; done && touch -d @1700000000 * " +
                     "&& zip -q -X kept * && head -c 500 /dev/urandom >b && echo new >g && " +
                     "touch -d @1700000000 b g && zip -q -X wanted a b c d f g"));
  const std::string kept = readFile(dir / "kept.zip"), wanted = readFile(dir / "wanted.zip");
  std::string error;
  const ZipDirectory keptZip = readZipDirectory(kept, kept.size(), &error).value();
  const ZipDirectory wantedZip = readZipDirectory(wanted, wanted.size(), &error).value();
  const auto& entries = wantedZip.entries;
  const uint64_t keptBytes = entries[0].recordLength + entries[2].recordLength +
                             entries[3].recordLength + entries[4].recordLength;
  // gap: the pieces' sources (Kept, Fetched), and how many bytes are fetched.
  const std::tuple<uint64_t, std::string, uint64_t> rows[] = {
      {0, "KFKKF", wanted.size() - keptBytes},
      {kFetchGap, "KFKKF", wanted.size() - keptBytes},
      {6000, "KF", wanted.size() - entries[0].recordLength}};
  for (const auto& [gap, sources, fetched] : rows) {
    const std::vector<Piece> plan = coalesceFetches(planAssembly(wantedZip, keptZip), gap);
    const auto ranges = fetchRanges(plan);
    auto range = ranges.begin();
    std::string assembled, planSources;
    for (const Piece& piece : plan) {
      EXPECT_EQ(assembled.size(), piece.offset);
      if (piece.source == Piece::Source::kKept) {
        assembled += kept.substr(piece.keptOffset, piece.length);
      } else if (range != ranges.end()) {
        EXPECT_EQ(piece.offset + piece.length - 1, range->second);
        assembled += wanted.substr(range->first, range->second - range->first + 1);
        ++range;
      }
      planSources += piece.source == Piece::Source::kKept ? 'K' : 'F';
    }
    EXPECT_EQ(wanted, assembled) << gap;
    EXPECT_EQ(sources, planSources) << gap;
    EXPECT_EQ(fetched, bytesToFetch(plan)) << gap;
  }
}
