#include "studio/mesh/testing/image_files.h"

#include "archive/bitmap_writer.h"

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
  return TgaBytes(DrawPicture(width, height, colour), TgaLayout{.Bits = static_cast<uint8_t>(bits)});
}

}  // namespace kestrel::testing
