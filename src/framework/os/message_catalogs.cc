#include "framework/os/message_catalogs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "framework/base/unique_fd.h"
#include "framework/os/first_line.h"
#include "framework/os/message_locale.h"
#include "framework/os/paths.h"

namespace fw {

namespace {

// A catalog holds a few dozen messages: anything much larger is no catalog of ours.
constexpr size_t kMaxCatalogSize = size_t{1} << 20;

bool writeNewFile(const std::string& path, std::string_view bytes) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  while (fd && !bytes.empty()) {
    const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return static_cast<bool>(fd);
}

// <directory>/<name>/LC_MESSAGES/<file> with the bytes, its directories made as needed.
bool writeCatalog(const std::string& directory, const std::string& name, const std::string& file,
                  std::string_view bytes) {
  std::string path = directory;
  for (const std::string& component : {name, std::string("LC_MESSAGES")}) {
    path = appendPathComponent(path, component);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
  }
  return writeNewFile(appendPathComponent(path, file), bytes);
}

// The catalog `name` (its file named `file`) that the bundle brings, else the carried one; none
// when neither has it.
std::optional<std::string> catalogNamed(const std::string& name, const std::string& file,
                                        std::span<const CarriedCatalog> carried,
                                        const std::string& ownCatalogs) {
  if (!ownCatalogs.empty()) {
    std::string path = ownCatalogs;
    path.append("/").append(name).append("/LC_MESSAGES/").append(file);
    FirstLine own = readSmallFile(path, kMaxCatalogSize);
    if (own.opened && !own.tooLong) {
      return std::move(own.text);
    }
  }
  const auto builtIn =
      std::ranges::find_if(carried, [&](const CarriedCatalog& c) { return c.name == name; });
  if (builtIn == carried.end()) {
    return std::nullopt;
  }
  return std::string(builtIn->bytes);
}

}  // namespace

bool useCatalogs(const std::string& directory, const std::string& domain,
                 std::span<const CarriedCatalog> carried, const std::string& ownCatalogs) {
  const std::string file = domain + ".mo";
  bool any = false;
  bool made = false;
  for (const std::string& name : wantedCatalogNames()) {
    const std::optional<std::string> bytes = catalogNamed(name, file, carried, ownCatalogs);
    if (!bytes) {
      continue;
    }
    if (!made && ::mkdir(directory.c_str(), 0700) != 0) {
      return false;
    }
    made = true;
    any = writeCatalog(directory, name, file, *bytes) || any;
  }
  if (any) {
    useTextDomain(domain, directory);
  }
  return any;
}

}  // namespace fw
