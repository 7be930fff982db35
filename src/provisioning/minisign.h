#ifndef SRC_PROVISIONING_MINISIGN_H_
#define SRC_PROVISIONING_MINISIGN_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/crypto/sodium.h"

// Signed install agents in the minisign formats, as Debian's minisign tool writes them: public
// keys ("minisign -G") and signatures of the prehashed kind ("minisign -S": Ed25519 over the
// BLAKE2b-512 of the file), so that the archive's hash is computed while it arrives and checked
// without a second pass. The legacy kind, a signature over the whole file, is refused: it would
// take the archive in memory, or a second read of it.

using KeyId = std::array<uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<uint8_t, 32> key{};
};

struct Signature {
  KeyId keyId{};
  std::array<uint8_t, 64> signature{};        // of the file's BLAKE2b-512
  std::string trustedComment;                 // after "trusted comment: "
  std::array<uint8_t, 64> globalSignature{};  // of the signature and the trusted comment
};

/// The key id as minisign shows it: uppercase hexadecimal, without leading zeros.
std::string keyIdText(const KeyId& id);

/// The keys of a public-key file: one or more, each an "untrusted comment:" line and the line of
/// its key in base64, one after the other (a rotation keeps the old key beside the new one).
/// Empty lines between them are allowed. None, with the reason in `error`, for anything else.
std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view text, std::string* error);

/// A signature file: an "untrusted comment:" line, the signature in base64, a "trusted comment:"
/// line and the global signature in base64. None, with the reason in `error`, for anything else,
/// a legacy signature included.
std::optional<Signature> parseSignature(std::string_view text, std::string* error);

/// Checks the signature of a file whose BLAKE2b-512 is `digest` against the pinned keys: made by
/// one of them, over the digest, and its trusted comment by the same key. The key's id, or none
/// with the reason in `error`.
std::optional<KeyId> verifySignature(const Signature& signature, const std::vector<PublicKey>& keys,
                                     const fw::crypto::Digest& digest, std::string* error);

#endif  // SRC_PROVISIONING_MINISIGN_H_
