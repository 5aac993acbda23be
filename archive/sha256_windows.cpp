// SHA-256 by Windows' own cryptography (CNG), which every Windows since Vista carries.
#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

#include "archive/sha256.h"

namespace kestrel {

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  void Start() {
    // A provider made once and kept: opening it is the costly part.
    static BCRYPT_ALG_HANDLE algorithm = [] {
      BCRYPT_ALG_HANDLE handle = nullptr;
      if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
        throw std::runtime_error("SHA-256 is not available");
      return handle;
    }();
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
      throw std::runtime_error("SHA-256 is not available");
  }
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Start(); }
Sha256::~Sha256() = default;

void Sha256::Add(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    BCryptHashData(state_->hash, const_cast<PUCHAR>(p), chunk, 0);
    p += chunk;
    size -= chunk;
  }
}

std::string Sha256::HexDigest() {
  uint8_t digest[32];
  BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->Start();
  return Hex(digest);
}

}  // namespace kestrel
