#ifndef SRC_PROVISIONING_AGENT_SIGNATURE_H_
#define SRC_PROVISIONING_AGENT_SIGNATURE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/crypto/sodium.h"
#include "provisioning/minisign.h"

// Install agents from the network run only when the vendor signed them: a bundle whose
// resources hold "installAgentKey.pub" trusts the keys in it, and every downloaded archive must
// come with a signature by one of them, ".minisig" beside it (provisioning/minisign.h).

/// What a bundle trusts.
struct TrustAnchor {
  bool required = false;        // the bundle ships a key file: downloads are verified
  std::vector<PublicKey> keys;  // none, with `required`: the file is broken, nothing verifies
  std::string problem;          // why the file is broken

  /// The ids of the keys as minisign shows them.
  std::vector<std::string> keyIds() const;
};

/// The trust anchor of the bundle whose resources are at the path: none required when there is
/// no "installAgentKey.pub" there.
TrustAnchor readTrustAnchor(const std::string& resourcePath);

/// Where the signature of the archive served from `archiveUrl` is: ".minisig" appended to the
/// URL's path, before any query or fragment.
std::string signatureUrl(const std::string& archiveUrl);

/// Checks the signature file (its text) of an archive whose BLAKE2b-512 is `digest` against the
/// trusted keys. The id of the key that signed it (minisign's text) and the signature's trusted
/// comment, or none with the cause in `error`.
struct Verified {
  std::string signer;
  std::string trustedComment;
};
std::optional<Verified> verifyArchive(const TrustAnchor& anchor, const fw::crypto::Digest& digest,
                                      std::string_view signatureFile, std::string* error);

#endif  // SRC_PROVISIONING_AGENT_SIGNATURE_H_
