// Bounds-checked little-endian reading over a byte buffer.
//
// Every decoder of the kit (archives, meshes, textures, sound banks) reads untrusted files through
// this one type: each read checks what remains before it touches a byte, and the size arithmetic
// never overflows, so a corrupt count or offset becomes an error instead of a read outside the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel {

// Thrown when a read would pass the end of the buffer.
class TruncatedDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const std::vector<uint8_t>& bytes) : ByteReader(bytes.data(), bytes.size()) {}

  size_t Size() const { return size_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  const uint8_t* Data() const { return data_; }

  bool CanRead(size_t n) const { return n <= Remaining(); }
  // True when `count` records of `recordSize` bytes fit in what remains; safe for any count.
  bool CanReadRecords(uint64_t count, size_t recordSize) const {
    return recordSize == 0 || count <= Remaining() / recordSize;
  }

  void Seek(size_t position) {
    if (position > size_) throw TruncatedDataError("position past the end of the data");
    pos_ = position;
  }

  uint8_t U8() {
    Require(1);
    return data_[pos_++];
  }
  uint16_t U16() {
    Require(2);
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    Require(4);
    uint32_t v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                 (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
                 (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() {
    uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  void Bytes(void* out, size_t n) {
    Require(n);
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
  }
  // A fixed-size text field: the characters up to the first zero byte, never past the field.
  std::string FixedString(size_t fieldSize) {
    Require(fieldSize);
    const char* begin = reinterpret_cast<const char*>(data_ + pos_);
    size_t len = strnlen(begin, fieldSize);
    pos_ += fieldSize;
    return std::string(begin, len);
  }

 private:
  void Require(size_t n) const {
    if (n > Remaining()) throw TruncatedDataError("unexpected end of data");
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Little-endian writing into a growing buffer: the mirror of ByteReader for the writers.
class ByteWriter {
 public:
  std::vector<uint8_t>& Bytes() { return bytes_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }

  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    U32(bits);
  }
  void Raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  // Writes `text` into a zero-padded field of `fieldSize` bytes, cut to fit.
  void FixedString(const std::string& text, size_t fieldSize) {
    size_t n = text.size() < fieldSize ? text.size() : fieldSize;
    Raw(text.data(), n);
    bytes_.insert(bytes_.end(), fieldSize - n, 0);
  }
  // Overwrites four bytes at `position` (which must already exist).
  void PatchU32(size_t position, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(position + i) = static_cast<uint8_t>(v >> (8 * i));
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace kestrel
