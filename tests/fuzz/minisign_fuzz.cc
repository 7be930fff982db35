// libFuzzer target for the minisign parsers, built once per parser: public-key files come with the
// bundle, signatures from the network. Whatever the bytes, a parser returns a value or a reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "provisioning/minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
#ifdef BI_FUZZ_KEYS
  const bool parsed = parsePublicKeys(text, &error).has_value();
#else
  const bool parsed = parseSignature(text, &error).has_value();
#endif
  if (parsed == !error.empty()) {
    __builtin_trap();  // a refusal must say why, an accepted file must not
  }
  return 0;
}
