#include "studio/mesh/testing/image_files.h"

#include "archive/byte_reader.h"

namespace kestrel::testing {

std::vector<uint8_t> Bmp24Bytes(int width, int height, const PixelColour& colour) {
  const uint32_t rowLength = static_cast<uint32_t>((width * 3 + 3) / 4 * 4);
  const uint32_t pixelBytes = rowLength * static_cast<uint32_t>(height);
  ByteWriter w;
  w.Raw("BM", 2);
  w.U32(14 + 40 + pixelBytes);
  w.U32(0);
  w.U32(14 + 40);
  w.U32(40);
  w.I32(width);
  w.I32(height);
  w.U16(1);
  w.U16(24);
  w.U32(0);
  w.U32(pixelBytes);
  w.I32(2835);
  w.I32(2835);
  w.U32(0);
  w.U32(0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      w.U8(static_cast<uint8_t>(c));
      w.U8(static_cast<uint8_t>(c >> 8));
      w.U8(static_cast<uint8_t>(c >> 16));
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < rowLength; ++pad) w.U8(0);
  }
  return std::move(w.Bytes());
}

std::vector<uint8_t> TgaBytes(int width, int height, int bits, const PixelColour& colour) {
  ByteWriter w;
  w.U8(0);  // no image id
  w.U8(0);  // no colour map
  w.U8(2);  // uncompressed true colour
  for (int i = 0; i < 5; ++i) w.U8(0);
  w.U16(0);
  w.U16(0);
  w.U16(static_cast<uint16_t>(width));
  w.U16(static_cast<uint16_t>(height));
  w.U8(static_cast<uint8_t>(bits));
  w.U8(bits == 32 ? 8 : 0);  // alpha bits; bottom-left origin
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      w.U8(static_cast<uint8_t>(c));
      w.U8(static_cast<uint8_t>(c >> 8));
      w.U8(static_cast<uint8_t>(c >> 16));
      if (bits == 32) w.U8(static_cast<uint8_t>(c >> 24));
    }
  return std::move(w.Bytes());
}

}  // namespace kestrel::testing
