#include "archive/bitmap_writer.h"

#include <climits>
#include <stdexcept>

#include "archive/byte_reader.h"

namespace kestrel {

constexpr size_t kBitmapHeadersSize = 14 + 40;

int64_t BitmapRowLength(int32_t width) { return (static_cast<int64_t>(width) * 24 + 31) / 32 * 4; }

std::vector<uint8_t> EncodeBitmap24(int32_t width, int32_t height, const uint8_t* pixels, size_t pixelsSize) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("a bitmap needs a positive width and height");
  const int64_t rowLength = BitmapRowLength(width);
  const int64_t imageSize = rowLength * height;
  if (static_cast<uint64_t>(imageSize) > pixelsSize) throw std::invalid_argument("fewer pixels than the rows need");
  if (imageSize + static_cast<int64_t>(kBitmapHeadersSize) > INT32_MAX)
    throw std::invalid_argument("a bitmap file must stay below 2 GiB");

  ByteWriter w;
  w.Bytes().reserve(kBitmapHeadersSize + static_cast<size_t>(imageSize));
  w.U8('B');
  w.U8('M');
  w.U32(static_cast<uint32_t>(kBitmapHeadersSize + imageSize));
  w.U32(0);  // two reserved words
  w.U32(kBitmapHeadersSize);
  w.U32(40);
  w.I32(width);
  w.I32(height);  // positive: rows stored bottom up
  w.U16(1);       // planes
  w.U16(24);
  w.U32(0);  // uncompressed
  w.U32(static_cast<uint32_t>(imageSize));
  w.I32(0);  // no preferred resolution
  w.I32(0);
  w.U32(0);  // no palette
  w.U32(0);
  for (int64_t row = height - 1; row >= 0; --row) w.Raw(pixels + row * rowLength, static_cast<size_t>(rowLength));
  return std::move(w.Bytes());
}

}  // namespace kestrel
