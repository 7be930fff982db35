#include "provisioning/minisign.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";

// Standard base64 with padding, nothing else (no blanks): the bytes, or none.
std::optional<std::string> decodeBase64(std::string_view text) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.empty() || text.size() % 4 != 0) {
    return std::nullopt;
  }
  std::string bytes;
  uint32_t bits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool padding =
        text[i] == '=' && i + 2 >= text.size() && (i + 1 == text.size() || text[i + 1] == '=');
    const size_t value = padding ? 0 : kAlphabet.find(text[i]);
    if (value == std::string_view::npos) {
      return std::nullopt;
    }
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (i % 4 == 3) {
      for (int shift = 16; shift >= 0; shift -= 8) {
        bytes += static_cast<char>(bits >> shift & 0xff);
      }
    }
  }
  bytes.resize(bytes.size() - static_cast<size_t>(std::count(text.end() - 2, text.end(), '=')));
  return bytes;
}

// The next line of `text` (without its line end, a carriage return before it included), and
// `text` past it.
std::string_view nextLine(std::string_view& text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  return line;
}

template <size_t N>
void copyTo(std::array<uint8_t, N>& out, std::string_view bytes) {
  std::copy_n(bytes.begin(), N, out.begin());
}

// A line of base64 that decodes to exactly `size` bytes starting with the algorithm `algorithm`
// (empty: any): those bytes, or none with the reason.
std::optional<std::string> decodeLine(std::string_view line, size_t size,
                                      std::string_view algorithm, const char* what,
                                      std::string* error) {
  std::optional<std::string> bytes = decodeBase64(line);
  if (!bytes || bytes->size() != size) {
    *error = std::string("malformed ") + what;
    return std::nullopt;
  }
  if (!bytes->starts_with(algorithm)) {
    *error = std::string("unsupported algorithm of the ") + what;
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::string keyIdText(const KeyId& id) {
  // A little-endian number, in hex without leading zeros, as minisign's key comments show it.
  uint64_t number = 0;
  int shift = 0;
  for (const uint8_t byte : id) {
    number |= uint64_t{byte} << shift;
    shift += 8;
  }
  char digits[17];
  (void)std::snprintf(digits, sizeof digits, "%" PRIX64, number);
  return digits;
}

std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view text, std::string* error) {
  std::vector<PublicKey> keys;
  while (!text.empty()) {
    const std::string_view comment = nextLine(text);
    if (comment.empty()) {
      continue;
    }
    if (!comment.starts_with(kUntrusted)) {
      *error = "a public key file line is no untrusted comment";
      return std::nullopt;
    }
    const std::optional<std::string> bytes =
        decodeLine(nextLine(text), 42, "Ed", "public key", error);
    if (!bytes) {
      return std::nullopt;
    }
    PublicKey& key = keys.emplace_back();
    copyTo(key.id, std::string_view(*bytes).substr(2, 8));
    copyTo(key.key, std::string_view(*bytes).substr(10, 32));
  }
  if (keys.empty()) {
    *error = "no public key";
    return std::nullopt;
  }
  return keys;
}

std::optional<Signature> parseSignature(std::string_view text, std::string* error) {
  if (!nextLine(text).starts_with(kUntrusted)) {
    *error = "no untrusted comment in the signature";
    return std::nullopt;
  }
  const std::optional<std::string> bytes = decodeLine(nextLine(text), 74, "ED", "signature", error);
  if (!bytes) {
    return std::nullopt;
  }
  Signature signature;
  copyTo(signature.keyId, std::string_view(*bytes).substr(2, 8));
  copyTo(signature.signature, std::string_view(*bytes).substr(10, 64));
  const std::string_view trusted = nextLine(text);
  if (!trusted.starts_with(kTrusted)) {
    *error = "no trusted comment in the signature";
    return std::nullopt;
  }
  signature.trustedComment = trusted.substr(kTrusted.size());
  const std::optional<std::string> global =
      decodeLine(nextLine(text), 64, "", "global signature", error);
  if (!global) {
    return std::nullopt;
  }
  copyTo(signature.globalSignature, *global);
  while (!text.empty()) {
    if (!nextLine(text).empty()) {
      *error = "more than a signature in the signature file";
      return std::nullopt;
    }
  }
  return signature;
}

std::optional<KeyId> verifySignature(const Signature& signature, const std::vector<PublicKey>& keys,
                                     const fw::crypto::Digest& digest, std::string* error) {
  const auto key = std::find_if(keys.begin(), keys.end(), [&](const PublicKey& candidate) {
    return candidate.id == signature.keyId;
  });
  if (key == keys.end()) {
    *error = "signed with key " + keyIdText(signature.keyId) + ", which is not trusted";
    return std::nullopt;
  }
  const std::string_view hashed(reinterpret_cast<const char*>(digest.data()), digest.size());
  if (!fw::crypto::verifyEd25519(signature.signature, hashed, key->key)) {
    *error = "the signature does not match the archive";
    return std::nullopt;
  }
  std::string signedComment(reinterpret_cast<const char*>(signature.signature.data()),
                            signature.signature.size());
  signedComment += signature.trustedComment;
  if (!fw::crypto::verifyEd25519(signature.globalSignature, signedComment, key->key)) {
    *error = "the trusted comment is not the signer's";
    return std::nullopt;
  }
  return key->id;
}
