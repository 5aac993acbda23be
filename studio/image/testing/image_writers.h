// Image files drawn by code for the tests: Windows bitmaps, Targa files and JPEG files in each
// variant the decoders read, from a picture whose pixels the test knows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel::testing {

// Colour of the pixel at (x, y), y counted from the top: 0xAARRGGBB.
using PixelColour = std::function<uint32_t(int x, int y)>;

struct TestPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Argb;  // top row first
  uint32_t At(int x, int y) const { return Argb[static_cast<size_t>(y) * Width + x]; }
};

TestPicture DrawPicture(int width, int height, const PixelColour& colour);
// The picture as R, G, B, A bytes, top row first; alpha 255 throughout unless `withAlpha`.
std::vector<uint8_t> RgbaBytes(const TestPicture& picture, bool withAlpha);

struct BmpLayout {
  uint16_t Bits = 24;        // 1, 4, 8, 16, 24 or 32
  uint32_t Compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
  uint32_t HeaderSize = 40;  // 12, 40, 52, 56, 108 or 124
  bool TopDown = false;
  // Red, green, blue, alpha masks for bit fields (in the header from 52 bytes on, else after it).
  std::array<uint32_t, 4> Masks{};
  bool FullPalette = false;      // every 2^bits entry, colours-used 0; else only the colours used
  uint32_t GapBeforePixels = 0;  // unused bytes between the palette and the pixels
  uint32_t ImageSizeField = 0;   // written as given; 0 is what most writers put
};

// Paletted layouts collect the picture's colours in order of first use (their alpha dropped) and
// throw std::invalid_argument when there are more than the depth holds. Bit fields round each
// channel to the bits of its mask. Run-length data ends every line and the bitmap with its codes.
std::vector<uint8_t> BmpBytes(const TestPicture& picture, const BmpLayout& layout);

// A 24-bit bitmap of one colour, for a texture whose colour a test looks for on the screen.
inline std::vector<uint8_t> SolidBmp(uint32_t argb, int width = 4, int height = 4) {
  return BmpBytes(DrawPicture(width, height, [argb](int, int) { return argb; }), {});
}

struct TgaLayout {
  uint8_t ImageType = 2;         // 1, 2, 3 or their run-length forms 9, 10, 11
  uint8_t Bits = 24;             // true colour 15, 16, 24, 32; mapped 8 or 16; grey 8
  uint8_t MapEntryBits = 24;     // colour-map entries of types 1 and 9: 24 or 32
  uint8_t AttributeBits = 0xFF;  // 0xFF: 8 for 32-bit pixels or map entries, else 0
  uint16_t MapFirst = 0;         // the index of the map's first entry, which pixels add to theirs
  bool TopOrigin = false;
  bool RightToLeft = false;
  std::string Id = {};
};

// Grey pictures store the red channel. Run-length packets run across rows, as writers do.
std::vector<uint8_t> TgaBytes(const TestPicture& picture, const TgaLayout& layout);

struct JpegLayout {
  int Quality = 95;
  bool Progressive = false;
  bool Grey = false;        // stores the red channel
  bool Cmyk = false;        // Adobe-style inverted inks, with black 0 unless Black
  bool Black = false;       // with Cmyk: the black ink carries the darkness the colours share
  bool NoAdobeMarker = false;  // with Cmyk: plain inks (not inverted) and no Adobe marker
  bool HalfColour = false;  // colour at half resolution both ways (4:2:0) instead of full (4:4:4)
  int FlatTable = 0;        // when set, every quantisation step is this value: no standard table
};

std::vector<uint8_t> JpegBytes(const TestPicture& picture, const JpegLayout& layout);

}  // namespace kestrel::testing
