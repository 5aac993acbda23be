// Small texture files drawn by code: uncompressed 24-bit Windows bitmaps and 24/32-bit Targa files.
#pragma once

#include <cstdint>
#include <vector>

#include "studio/image/testing/image_writers.h"

namespace kestrel::testing {

// A BITMAPINFOHEADER bitmap, bottom row first, rows padded to 4 bytes, biSizeImage filled in.
std::vector<uint8_t> Bmp24Bytes(int width, int height, const PixelColour& colour);
// An uncompressed true-colour Targa (image type 2), bottom row first; `bits` is 24 or 32.
std::vector<uint8_t> TgaBytes(int width, int height, int bits, const PixelColour& colour);

}  // namespace kestrel::testing
