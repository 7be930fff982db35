#include "provisioning/range_plan.h"

#include <gtest/gtest.h>

#include <random>

#include "support/files.h"
#include "support/process.h"

using namespace testing_support;

namespace {

// The archive of the files, all of one time, as zip writes it; and its directory.
std::string zipOf(const std::map<std::string, std::string>& files, ZipDirectory* zip) {
  const ScopedTempDir staging;
  for (const auto& [name, content] : files) {
    writeFile(staging / name, content);
  }
  EXPECT_EQ(0, runShell("cd " + staging.path() + " && touch -d @1700000000 * && zip -q -X z *"));
  std::string archive = readFile(staging / "z.zip"), error;
  *zip = readZipDirectory(archive, archive.size(), &error).value();
  return archive;
}

std::string noise(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(length, '\0');
  for (char& c : text) {
    c = static_cast<char>(random());
  }
  return text;
}

}  // namespace

// The proof: the new archive made from the kept one and its fetched ranges alone, byte for
// byte, with one entry changed, one added, one gone; c and d side by side in both archives, d
// and f only in the new one.
TEST(RangePlanTest, AssemblesTheNewArchiveFromTheKeptOne) {
  std::map<std::string, std::string> files{{"a", noise(3000, 1)}, {"b", noise(500, 2)},
                                           {"c", noise(2500, 3)}, {"d", noise(2500, 4)},
                                           {"d2", "x"},           {"f", noise(100, 5)}};
  ZipDirectory keptZip, wantedZip;
  const std::string kept = zipOf(files, &keptZip);
  files.erase("d2");
  files["b"] = noise(500, 6);  // as long: only its crc32 tells
  files["g"] = "new";
  const std::string wanted = zipOf(files, &wantedZip);
  const auto& entries = wantedZip.entries;
  const uint64_t keptBytes = entries[0].recordLength + entries[2].recordLength +
                             entries[3].recordLength + entries[4].recordLength;
  using Source = Piece::Source;
  const std::vector<Source> apart{Source::kKept, Source::kFetch, Source::kKept, Source::kKept,
                                  Source::kFetch};
  // gap: the pieces' sources, and how many bytes are fetched.
  const std::tuple<uint64_t, std::vector<Source>, uint64_t> rows[] = {
      {0, apart, wanted.size() - keptBytes},
      {kFetchGap, apart, wanted.size() - keptBytes},
      {6000, {Source::kKept, Source::kFetch}, wanted.size() - entries[0].recordLength},
  };
  for (const auto& [gap, sources, fetched] : rows) {
    const std::vector<Piece> plan = coalesceFetches(planAssembly(wantedZip, keptZip), gap);
    const auto ranges = fetchRanges(plan);
    auto range = ranges.begin();
    std::string assembled;
    std::vector<Source> planSources;
    for (const Piece& piece : plan) {
      EXPECT_EQ(assembled.size(), piece.offset);
      if (piece.source == Source::kKept) {
        assembled += kept.substr(piece.keptOffset, piece.length);
      } else if (range != ranges.end()) {
        EXPECT_EQ(piece.offset + piece.length - 1, range->second);
        assembled += wanted.substr(range->first, range->second - range->first + 1);
        ++range;
      }
      planSources.push_back(piece.source);
    }
    EXPECT_EQ(wanted, assembled) << gap;
    EXPECT_EQ(sources, planSources) << gap;
    EXPECT_EQ(fetched, bytesToFetch(plan)) << gap;
  }
}
