// What the three entry-format encoders share: their entry points and the packing of channels.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "studio/image/image_decoder.h"

namespace kestrel::image_detail {

using Warnings = std::vector<std::string>;

// Each writes `picture` with the layout of `entry`, which decodes (the caller checked that);
// `entryHasAlpha` is what decoding it said.
std::vector<uint8_t> EncodeBmpLike(const std::vector<uint8_t>& entry, const RgbaImage& picture, Warnings& warnings);
std::vector<uint8_t> EncodeTargaLike(const std::vector<uint8_t>& entry, bool entryHasAlpha, const RgbaImage& picture,
                                     Warnings& warnings);
std::vector<uint8_t> EncodeJpegLike(const std::vector<uint8_t>& entry, const RgbaImage& picture, Warnings& warnings);

// A channel of 0..255 in the bits of `mask`, rounded to the nearest level: the inverse of the
// decoders' ScaleChannel, so that a level read from a file is written back as the same bits.
inline uint32_t IntoMask(uint8_t value, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint64_t maximum = mask >> shift;
  return static_cast<uint32_t>((value * maximum + 127) / 255) << shift & mask;
}

// Rec. 601 brightness, for entries that store grey.
inline uint8_t GreyOf(const uint8_t* rgba) {
  return static_cast<uint8_t>((rgba[0] * 299u + rgba[1] * 587u + rgba[2] * 114u + 500) / 1000);
}

inline bool IsGrey(const RgbaImage& picture) {
  for (size_t i = 0; i < picture.Pixels.size(); i += 4)
    if (picture.Pixels[i] != picture.Pixels[i + 1] || picture.Pixels[i] != picture.Pixels[i + 2]) return false;
  return true;
}

inline void PutU16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  PutU16(bytes, at, value & 0xFFFF);
  PutU16(bytes, at + 2, value >> 16);
}

}  // namespace kestrel::image_detail
