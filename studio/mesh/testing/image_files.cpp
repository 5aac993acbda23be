#include "studio/mesh/testing/image_files.h"

#include "archive/bitmap_writer.h"
#include "archive/byte_reader.h"

namespace kestrel::testing {

std::vector<uint8_t> Bmp24Bytes(int width, int height, const PixelColour& colour) {
  const size_t rowLength = static_cast<size_t>(BitmapRowLength(width));
  std::vector<uint8_t> rows(rowLength * static_cast<size_t>(height), 0);  // top row first, padding zero
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      uint8_t* pixel = &rows[static_cast<size_t>(y) * rowLength + static_cast<size_t>(x) * 3];
      pixel[0] = static_cast<uint8_t>(c);
      pixel[1] = static_cast<uint8_t>(c >> 8);
      pixel[2] = static_cast<uint8_t>(c >> 16);
    }
  return EncodeBitmap24(width, height, rows.data(), rows.size());
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
