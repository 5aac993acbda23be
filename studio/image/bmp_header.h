// A Windows bitmap's headers and palette as the decoder reads them and the encoder keeps them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/byte_reader.h"
#include "studio/image/picture_canvas.h"

namespace kestrel::image_detail {

constexpr uint32_t kBmpRgb = 0, kBmpRle8 = 1, kBmpRle4 = 2, kBmpBitFields = 3, kBmpAlphaBitFields = 6;
constexpr size_t kBmpFileHeaderSize = 14;

struct BmpHeader {
  uint32_t HeaderSize = 0;
  int64_t Width = 0;
  int64_t Height = 0;
  bool TopDown = false;
  uint16_t Bits = 0;
  uint32_t Compression = kBmpRgb;
  uint32_t ColoursUsed = 0;
  std::array<uint32_t, 4> Masks{};  // red, green, blue, alpha
  bool AlphaMaskDefined = false;
  uint32_t DataOffset = 0;
  size_t PaletteOffset = 0;
  size_t PaletteEntrySize = 4;

  bool RunLength() const { return Compression == kBmpRle8 || Compression == kBmpRle4; }
  bool HasAlpha() const { return (Bits == 16 || Bits == 32) && AlphaMaskDefined && Masks[3] != 0; }
};

// Both throw ImageDecodeError (or TruncatedDataError for a file that ends early).
BmpHeader ReadBmpHeader(ByteReader& r);
std::vector<Rgba> ReadBmpPalette(ByteReader& r, const BmpHeader& h);

}  // namespace kestrel::image_detail
