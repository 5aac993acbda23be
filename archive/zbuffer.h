// The entry encoding: zlib streams at level 9, inflated into buffers of the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel {

// A zlib failure; the message is zlib's own text for the return code ("data error", ...).
class EZLibError : public std::runtime_error {
 public:
  EZLibError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};
class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

// A stream that inflates to more than the caller allowed. Nothing past the limit was kept, so a
// small stream that would inflate to gigabytes costs no more memory than the limit.
class EZInflateLimitError : public EZDecompressionError {
 public:
  EZInflateLimitError(size_t limit, const std::string& message);
  size_t Limit() const { return limit_; }

 private:
  size_t limit_;
};

// zlib's standard text for a negative return code.
std::string ZLibErrorText(int code);

// Level index 0 to 3 selects zlib level 0, 1, the default, or 9. Every caller of the kit passes 3.
// Throws EZCompressionError; "buffer error" for input of 4 GiB or more.
std::vector<uint8_t> CompressBuffer(const uint8_t* data, size_t size, int levelIndex = 3);

// Inflates one zlib stream. `expectedSize` (may be 0) only sizes the first buffer; the result has
// the length the stream inflates to. Bytes after the end of the stream are ignored.
// Throws EZDecompressionError: "buffer error" for a stream cut short or of 4 GiB or more, "data
// error" for damage.
std::vector<uint8_t> DecompressBuffer(const uint8_t* data, size_t size, size_t expectedSize);
// The same, refusing a stream that inflates to more than `maxSize` bytes with EZInflateLimitError
// ("the data inflates to more than N bytes"); at most about `maxSize` bytes are reserved.
std::vector<uint8_t> DecompressBuffer(const uint8_t* data, size_t size, size_t expectedSize, size_t maxSize);

}  // namespace kestrel
