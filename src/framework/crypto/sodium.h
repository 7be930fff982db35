#ifndef SRC_FRAMEWORK_CRYPTO_SODIUM_H_
#define SRC_FRAMEWORK_CRYPTO_SODIUM_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace fw::crypto {

// The few primitives of libsodium that checking a signature takes. libsodium is part of the
// program, initialised on first use: a run that checks nothing pays nothing for it.

using Digest = std::array<uint8_t, 64>;

/// BLAKE2b with a 512-bit digest and no key, fed piece by piece. Any thread; one at a time.
class Blake2b512 {
 public:
  Blake2b512();
  void update(std::string_view bytes);
  /// The digest of everything fed; the hasher is spent afterwards.
  Digest finish();

 private:
  alignas(64) unsigned char state_[384]{};  // libsodium's crypto_generichash_state
};

/// Whether `signature` (64 bytes) is the Ed25519 signature of `message` by `publicKey` (32
/// bytes). False too when libsodium cannot be initialised.
bool verifyEd25519(const std::array<uint8_t, 64>& signature, std::string_view message,
                   const std::array<uint8_t, 32>& publicKey);

}  // namespace fw::crypto

#endif  // SRC_FRAMEWORK_CRYPTO_SODIUM_H_
