#include "provisioning/update_assembly.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/base/unique_fd.h"
#include "provisioning/range_plan.h"
#include "provisioning/zip_directory.h"

namespace {

// Servers serve a bounded number of ranges a request (Apache 200 by default) and the whole file
// beyond: an update of more pieces than this is fetched whole.
constexpr size_t kMaxRanges = 100;

bool readAt(int fd, uint64_t offset, std::string& into) {
  size_t done = 0;
  while (done < into.size()) {
    const ssize_t count =
        ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
    if (count <= 0) {
      return false;
    }
    done += static_cast<size_t>(count);
  }
  return true;
}

// Copies `length` bytes from `from` at `fromOffset` to `to` at `toOffset`, in the kernel where
// it can.
bool copyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length) {
  auto in = static_cast<off_t>(fromOffset);
  auto out = static_cast<off_t>(toOffset);
  while (length > 0) {
    const ssize_t count = ::copy_file_range(from, &in, to, &out, length, 0);
    if (count > 0) {
      length -= static_cast<uint64_t>(count);
      continue;
    }
    if (count == 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL)) {
      return false;
    }
    std::string buffer(std::min<uint64_t>(length, uint64_t{1} << 20), '\0');
    if (!readAt(from, static_cast<uint64_t>(in), buffer) ||
        ::pwrite(to, buffer.data(), buffer.size(), out) != static_cast<ssize_t>(buffer.size())) {
      return false;
    }
    in += static_cast<off_t>(buffer.size());
    out += static_cast<off_t>(buffer.size());
    length -= buffer.size();
  }
  return true;
}

}  // namespace

bool assembleFromKept(int fd, uint64_t length, uint64_t tailLength, const std::string& keptPath,
                      const FetchRanges& fetch, uint64_t* fetched, std::string* why) {
  // The new archive's directory, from its end; once more from further back when it is long.
  std::string tail(std::min(length, tailLength), '\0');
  if (!readAt(fd, length - tail.size(), tail)) {
    *why = "cannot read the archive's end";
    return false;
  }
  const uint64_t needed = neededTailLength(tail, length);
  if (needed > tail.size()) {
    if (!fetch({{length - needed, length - tail.size() - 1}}, why)) {
      return false;
    }
    *fetched += needed - tail.size();
    tail.assign(needed, '\0');
    if (!readAt(fd, length - needed, tail)) {
      *why = "cannot read the archive's end";
      return false;
    }
  }
  const std::optional<ZipDirectory> wanted = readZipDirectory(tail, length, why);
  const fw::UniqueFd kept(::open(keptPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!wanted || !kept) {
    *why = wanted ? "no kept archive: " + std::string(std::strerror(errno)) : *why;
    return false;
  }
  const std::optional<ZipDirectory> old = readZipDirectoryOfFile(kept.get(), why);
  if (!old) {
    *why = "the kept archive: " + *why;
    return false;
  }
  const std::vector<Piece> pieces = coalesceFetches(planAssembly(*wanted, *old));
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  const uint64_t have = length - tail.size();  // what the tail holds is there already
  for (auto [first, last] : fetchRanges(pieces)) {
    if (first < have) {
      ranges.emplace_back(first, std::min(last, have - 1));
      *fetched += ranges.back().second - first + 1;
    }
  }
  if (ranges.size() > kMaxRanges) {
    *why = std::to_string(ranges.size()) + " ranges to fetch";
    return false;
  }
  for (const Piece& piece : pieces) {
    if (piece.source == Piece::Source::kKept &&
        !copyRange(kept.get(), piece.keptOffset, fd, piece.offset, piece.length)) {
      *why = std::string("cannot copy from the kept archive: ") + std::strerror(errno);
      return false;
    }
  }
  return ranges.empty() || fetch(ranges, why);
}
