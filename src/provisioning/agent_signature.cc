#include "provisioning/agent_signature.h"

#include "framework/os/first_line.h"
#include "framework/os/paths.h"

namespace {

// Keys of a handful of rotations; a file much larger is no key file.
constexpr size_t kMaxKeyFileSize = size_t{64} * 1024;

}  // namespace

std::vector<std::string> TrustAnchor::keyIds() const {
  std::vector<std::string> ids;
  for (const PublicKey& key : keys) {
    ids.push_back(keyIdText(key.id));
  }
  return ids;
}

TrustAnchor readTrustAnchor(const std::string& resourcePath) {
  TrustAnchor anchor;
  const std::string path = fw::appendPathComponent(resourcePath, "installAgentKey.pub");
  if (resourcePath.empty() || !fw::fileExistsAtPath(path)) {
    return anchor;
  }
  anchor.required = true;
  const fw::FirstLine file = fw::readSmallFile(path, kMaxKeyFileSize);
  if (!file.opened || file.tooLong) {
    anchor.problem = file.opened ? "too large" : "cannot be read";
  } else if (auto keys = parsePublicKeys(file.text, &anchor.problem)) {
    anchor.keys = std::move(*keys);
  }
  return anchor;
}

std::string signatureUrl(const std::string& archiveUrl) {
  const size_t scheme = archiveUrl.find("://");
  const size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t end = archiveUrl.find_first_of("?#", authority);
  std::string url = archiveUrl.substr(0, end);
  // Without a path, the suffix would land in the host name.
  if (url.find('/', authority) == std::string::npos) {
    url += '/';
  }
  url += ".minisig";
  if (end != std::string::npos) {
    url += archiveUrl.substr(end);
  }
  return url;
}

std::optional<Verified> verifyArchive(const TrustAnchor& anchor, const fw::crypto::Digest& digest,
                                      std::string_view signatureFile, std::string* error) {
  if (anchor.keys.empty()) {
    *error = "no trusted key: installAgentKey.pub: " + anchor.problem;
    return std::nullopt;
  }
  const std::optional<Signature> signature = parseSignature(signatureFile, error);
  if (!signature) {
    return std::nullopt;
  }
  const std::optional<KeyId> signer = verifySignature(*signature, anchor.keys, digest, error);
  if (!signer) {
    return std::nullopt;
  }
  return Verified{keyIdText(*signer), signature->trustedComment};
}
