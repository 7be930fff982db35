#include "framework/crypto/sodium.h"

#include <sodium.h>

#include <mutex>

namespace fw::crypto {

namespace {

static_assert(sizeof(crypto_generichash_state) <= 384 && alignof(crypto_generichash_state) <= 64);

bool initialised() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = ::sodium_init() >= 0; });
  return ready;
}

crypto_generichash_state* stateOf(unsigned char* storage) {
  return reinterpret_cast<crypto_generichash_state*>(storage);
}

const unsigned char* bytesOf(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

Blake2b512::Blake2b512() {
  initialised();
  ::crypto_generichash_init(stateOf(state_), nullptr, 0, crypto_generichash_BYTES_MAX);
}

void Blake2b512::update(std::string_view bytes) {
  ::crypto_generichash_update(stateOf(state_), bytesOf(bytes), bytes.size());
}

Digest Blake2b512::finish() {
  Digest digest{};
  ::crypto_generichash_final(stateOf(state_), digest.data(), digest.size());
  return digest;
}

bool verifyEd25519(const std::array<uint8_t, 64>& signature, std::string_view message,
                   const std::array<uint8_t, 32>& publicKey) {
  return initialised() && ::crypto_sign_verify_detached(signature.data(), bytesOf(message),
                                                        message.size(), publicKey.data()) == 0;
}

}  // namespace fw::crypto
