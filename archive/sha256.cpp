#include "archive/sha256.h"

namespace kestrel {

std::string Sha256::Hex(const uint8_t* digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < 32; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
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
