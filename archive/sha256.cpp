#include "archive/sha256.h"

#include <nettle/sha2.h>

namespace kestrel {

struct Sha256::State {
  sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->context); }
Sha256::~Sha256() = default;

void Sha256::Add(const void* data, size_t size) {
  sha256_update(&state_->context, size, static_cast<const uint8_t*>(data));
}

std::string Sha256::HexDigest() {
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&state_->context, SHA256_DIGEST_SIZE, digest);  // also starts a new message
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
  Sha256 hash;
  hash.Add(bytes);
  return hash.HexDigest();
}

bool IsSha256Hex(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace kestrel
