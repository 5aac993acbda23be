// Small texture files drawn by code: uncompressed 24-bit Windows bitmaps and 24/32-bit Targa files.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrel::testing {

// Colour of the pixel at (x, y), y counted from the top: 0xAARRGGBB.
using PixelColour = std::function<uint32_t(int x, int y)>;

// A BITMAPINFOHEADER bitmap, bottom row first, rows padded to 4 bytes, biSizeImage filled in.
std::vector<uint8_t> Bmp24Bytes(int width, int height, const PixelColour& colour);
// An uncompressed true-colour Targa (image type 2), bottom row first; `bits` is 24 or 32.
std::vector<uint8_t> TgaBytes(int width, int height, int bits, const PixelColour& colour);

}  // namespace kestrel::testing
