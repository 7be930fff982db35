#ifndef SRC_FRAMEWORK_NET_TRUST_ENVIRONMENT_H_
#define SRC_FRAMEWORK_NET_TRUST_ENVIRONMENT_H_

#include <optional>
#include <string>

namespace fw {

/// The certificates that TLS peers are checked against, beyond libcurl's own default.
struct TrustStore {
  std::string caFile;          ///< a file of certificates; empty: libcurl's default
  std::string caFileVariable;  ///< where it was named, for messages
  std::string caPath;          ///< a directory of certificates; empty: libcurl's default
  std::string caPathVariable;
};

/// The trust that the environment names, read as the curl tool reads it: `CURL_CA_BUNDLE`;
/// without it, `SSL_CERT_DIR` and `SSL_CERT_FILE`. Empty values count as unset. None when a
/// named file or directory cannot be read, with `error` naming the variable, the path and the
/// system's reason: a name that does not work never falls back to other trust.
std::optional<TrustStore> trustFromEnvironment(std::string& error);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_TRUST_ENVIRONMENT_H_
