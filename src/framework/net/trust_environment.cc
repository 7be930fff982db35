#include "framework/net/trust_environment.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "framework/base/unique_fd.h"

namespace fw {

namespace {

const char* variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Whether the file (or directory) can be opened for reading; `error` says why not.
bool readable(const char* name, const std::string& path, bool directory, std::string& error) {
  const UniqueFd fd(
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (directory ? O_DIRECTORY : 0)));
  struct stat status {};
  if (fd && ::fstat(fd.get(), &status) == 0 && (directory || S_ISREG(status.st_mode))) {
    return true;
  }
  const char* reason = !fd ? std::strerror(errno) : "not a regular file";
  error = std::string(name) + " names " + path + ", which cannot be read: " + reason;
  return false;
}

}  // namespace

std::optional<TrustStore> trustFromEnvironment(std::string& error) {
  TrustStore trust;
  if (const char* bundle = variable("CURL_CA_BUNDLE")) {
    trust.caFile = bundle;
    trust.caFileVariable = "CURL_CA_BUNDLE";
  } else {
    if (const char* dir = variable("SSL_CERT_DIR")) {
      trust.caPath = dir;
      trust.caPathVariable = "SSL_CERT_DIR";
    }
    if (const char* file = variable("SSL_CERT_FILE")) {
      trust.caFile = file;
      trust.caFileVariable = "SSL_CERT_FILE";
    }
  }
  if ((!trust.caFile.empty() &&
       !readable(trust.caFileVariable.c_str(), trust.caFile, false, error)) ||
      (!trust.caPath.empty() &&
       !readable(trust.caPathVariable.c_str(), trust.caPath, true, error))) {
    return std::nullopt;
  }
  return trust;
}

}  // namespace fw
