#ifndef SRC_PROVISIONING_RANGE_PLAN_H_
#define SRC_PROVISIONING_RANGE_PLAN_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "provisioning/zip_directory.h"

// How a new archive is assembled byte for byte from the archive kept from the last install and
// ranges of the new one: each entry whose record is the same in both is copied from the kept
// file, the rest is fetched.

/// One stretch of the new archive and where its bytes come from.
struct Piece {
  uint64_t offset = 0, length = 0;  // in the new archive
  enum class Source { kKept, kFetch } source = Source::kFetch;
  uint64_t keptOffset = 0;  // for kKept: where the same bytes start in the kept archive
};

/// The pieces that make `wanted` from `kept`, both read by readZipDirectory: they cover
/// [0, wanted.archiveLength) in order, without gaps or overlaps. An entry of `wanted` is kKept
/// when `kept` has one of the same name, crc32, sizes, method, flags, time, date, version needed
/// and record length; the rest, the directory and the end record included, is kFetch. Adjacent
/// pieces of one source are one piece (kept ones when also adjacent in the kept archive).
/// The local extra field is the one part of a record that no directory describes: the assembled
/// archive is only the wanted one once its signature or digest says so.
std::vector<Piece> planAssembly(const ZipDirectory& wanted, const ZipDirectory& kept);

/// Kept stretches shorter than this between two fetched ones are fetched again instead: a range
/// costs a part header of about 100 bytes in the answer and a line in the request, and servers
/// cap how many ranges they serve at once (beyond it they answer with the whole file), so fewer,
/// longer ranges serve better than saving a few hundred bytes.
constexpr uint64_t kFetchGap = 4096;

/// The plan with every run of kept pieces shorter than `gap` in all between two fetched pieces
/// turned into fetched bytes, merged with its neighbours: each fetched piece is one range.
std::vector<Piece> coalesceFetches(std::vector<Piece> pieces, uint64_t gap = kFetchGap);

/// The fetched pieces as ranges to ask for: first and last byte, inclusive, in order.
std::vector<std::pair<uint64_t, uint64_t>> fetchRanges(const std::vector<Piece>& pieces);

/// How many bytes the plan fetches, for the caller to judge whether ranges are worth it.
uint64_t bytesToFetch(const std::vector<Piece>& pieces);

#endif  // SRC_PROVISIONING_RANGE_PLAN_H_
