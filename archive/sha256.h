// SHA-256 digests (nettle does the hashing, on Windows the system's CNG), written as 64 lower-case
// hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Add(const void* data, size_t size);
  void Add(const std::vector<uint8_t>& bytes) { Add(bytes.data(), bytes.size()); }
  // The digest as hex; the object is reset for a new message.
  std::string HexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
  static std::string Hex(const uint8_t* digest);
};

std::string Sha256Hex(const std::vector<uint8_t>& bytes);
// True for exactly 64 lower-case hex digits.
bool IsSha256Hex(const std::string& text);

}  // namespace kestrel
