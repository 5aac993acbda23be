// SHA-256 by nettle.
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
  return Hex(digest);
}

}  // namespace kestrel

