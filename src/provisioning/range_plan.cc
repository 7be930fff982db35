#include "provisioning/range_plan.h"

#include <string_view>
#include <unordered_map>

namespace {

bool sameRecord(const ZipEntry& a, const ZipEntry& b) {
  return a.name == b.name && a.crc32 == b.crc32 && a.compressedSize == b.compressedSize &&
         a.uncompressedSize == b.uncompressedSize && a.method == b.method && a.flags == b.flags &&
         a.dosTime == b.dosTime && a.dosDate == b.dosDate && a.versionNeeded == b.versionNeeded &&
         a.recordLength == b.recordLength;
}

// Appends the piece, or grows the last one when the new one continues it from the same source.
void append(std::vector<Piece>& pieces, const Piece& piece) {
  if (piece.length == 0) {
    return;
  }
  if (!pieces.empty()) {
    Piece& last = pieces.back();
    const bool continues = last.source == piece.source && last.offset + last.length == piece.offset;
    if (continues && (piece.source == Piece::Source::kFetch ||
                      last.keptOffset + last.length == piece.keptOffset)) {
      last.length += piece.length;
      return;
    }
  }
  pieces.push_back(piece);
}

}  // namespace

std::vector<Piece> planAssembly(const ZipDirectory& wanted, const ZipDirectory& kept) {
  std::unordered_map<std::string_view, const ZipEntry*> keptByName;
  for (const ZipEntry& entry : kept.entries) {
    keptByName.emplace(entry.name, &entry);
  }
  std::vector<Piece> pieces;
  uint64_t done = 0;
  for (const ZipEntry& entry : wanted.entries) {
    const auto found = keptByName.find(entry.name);
    // The offsets' order is checked again for directories not made by readZipDirectory.
    if (found == keptByName.end() || !sameRecord(entry, *found->second) ||
        entry.localHeaderOffset < done ||
        entry.localHeaderOffset + entry.recordLength > wanted.archiveLength) {
      continue;
    }
    append(pieces, {done, entry.localHeaderOffset - done, Piece::Source::kFetch, 0});
    append(pieces, {entry.localHeaderOffset, entry.recordLength, Piece::Source::kKept,
                    found->second->localHeaderOffset});
    done = entry.localHeaderOffset + entry.recordLength;
  }
  append(pieces, {done, wanted.archiveLength - done, Piece::Source::kFetch, 0});
  return pieces;
}

std::vector<Piece> coalesceFetches(std::vector<Piece> pieces, uint64_t gap) {
  std::vector<Piece> result;
  for (size_t i = 0; i < pieces.size();) {
    // A run of kept pieces, whole: one before it or after it is a fetched one.
    size_t end = i + 1;
    uint64_t runLength = pieces[i].length;
    if (pieces[i].source == Piece::Source::kKept) {
      for (; end < pieces.size() && pieces[end].source == Piece::Source::kKept; ++end) {
        runLength += pieces[end].length;
      }
    }
    if (pieces[i].source == Piece::Source::kKept && i > 0 && end < pieces.size() &&
        runLength < gap) {
      append(result, {pieces[i].offset, runLength, Piece::Source::kFetch, 0});
    } else {
      for (size_t j = i; j < end; ++j) {
        append(result, pieces[j]);
      }
    }
    i = end;
  }
  return result;
}

std::vector<std::pair<uint64_t, uint64_t>> fetchRanges(const std::vector<Piece>& pieces) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (const Piece& piece : pieces) {
    if (piece.source == Piece::Source::kFetch) {
      ranges.emplace_back(piece.offset, piece.offset + piece.length - 1);
    }
  }
  return ranges;
}

uint64_t bytesToFetch(const std::vector<Piece>& pieces) {
  uint64_t total = 0;
  for (const Piece& piece : pieces) {
    if (piece.source == Piece::Source::kFetch) {
      total += piece.length;
    }
  }
  return total;
}
