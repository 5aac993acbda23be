#include "studio/image/testing/image_variants.h"

#include <array>

namespace kestrel::testing {
namespace {

// Odd sizes, so that row padding, half-filled bytes and packets across rows all occur.
constexpr int kWidth = 13;
constexpr int kHeight = 6;

TestPicture TwoColours() {
  return DrawPicture(kWidth, kHeight, [](int x, int y) { return (x + y) % 3 ? 0xFF2050A0u : 0xFFF0E010u; });
}

// Sixteen colours in runs (even rows) and in changing stretches (odd rows).
TestPicture SixteenColours() {
  return DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t i = y % 2 ? (x * 7 + y) % 16 : (x / 4 + y) % 16;
    return 0xFF000000u | (i * 16 + 3) << 16 | (255 - i * 9) << 8 | (i * 37 % 256);
  });
}

// Runs of three of one colour in every row, and no stretches of changing colours.
TestPicture Bands() {
  return DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t i = static_cast<uint32_t>(x / 3 + y) % 16;
    return 0xFF000000u | (i * 15) << 16 | (200 - i * 7) << 8 | (i * 50 % 256);
  });
}

// Every pixel its own colour and alpha.
TestPicture AllColours() {
  return DrawPicture(kWidth, kHeight, [](int x, int y) {
    return static_cast<uint32_t>((x + y) * 19 % 256) << 24 | static_cast<uint32_t>(x * 37 % 256) << 16 |
           static_cast<uint32_t>(y * 53 % 256) << 8 | static_cast<uint32_t>((x * y * 11 + 7) % 256);
  });
}

// Channels of 0 and 255 only, which every depth holds exactly; alpha 0 or 255.
TestPicture Primaries() {
  return DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t bits = static_cast<uint32_t>(x + y * 3);
    return (bits & 8 ? 0xFF000000u : 0) | (bits & 1 ? 0xFF0000u : 0) | (bits & 2 ? 0xFF00u : 0) |
           (bits & 4 ? 0xFFu : 0);
  });
}

}  // namespace

std::vector<ImageVariant> ImageVariants() {
  const std::array<uint32_t, 4> rgba8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  std::vector<ImageVariant> v;
  auto bmp = [&](std::string name, const TestPicture& p, BmpLayout layout, bool alpha = false, int tolerance = 0) {
    v.push_back({"BMP " + name, p, BmpBytes(p, layout), ImageKind::Bmp, alpha, tolerance});
  };
  auto tga = [&](std::string name, const TestPicture& p, TgaLayout layout, bool alpha = false, int tolerance = 0) {
    v.push_back({"TGA " + name, p, TgaBytes(p, layout), ImageKind::Targa, alpha, tolerance});
  };
  // Five bits per channel hold a colour to within 255 / 31 / 2 of its value.
  constexpr int kFiveBitTolerance = 5;
  auto jpeg = [&](std::string name, const TestPicture& p, JpegLayout layout) {
    v.push_back({"JPEG " + name, p, JpegBytes(p, layout), ImageKind::Jpeg, false, 12});
  };

  bmp("1-bit", TwoColours(), {.Bits = 1});
  bmp("1-bit core header", TwoColours(), {.Bits = 1, .HeaderSize = 12});
  bmp("4-bit full palette", SixteenColours(), {.Bits = 4, .FullPalette = true});
  bmp("8-bit", SixteenColours(), {.Bits = 8});
  bmp("8-bit core header", SixteenColours(), {.Bits = 8, .HeaderSize = 12});
  bmp("8-bit top-down, 124-byte header", SixteenColours(), {.Bits = 8, .HeaderSize = 124, .TopDown = true});
  bmp("RLE8", SixteenColours(), {.Bits = 8, .Compression = 1});
  bmp("RLE4", SixteenColours(), {.Bits = 4, .Compression = 2});
  bmp("RLE4 runs only", Bands(), {.Bits = 4, .Compression = 2});
  bmp("16-bit 5-5-5", Primaries(), {.Bits = 16});
  bmp("16-bit 5-6-5 bit fields", Primaries(), {.Bits = 16, .Compression = 3, .Masks = {0xF800, 0x07E0, 0x001F, 0}});
  bmp("16-bit 1-5-5-5 with alpha, 56-byte header", Primaries(),
      {.Bits = 16, .Compression = 3, .HeaderSize = 56, .Masks = {0x7C00, 0x03E0, 0x001F, 0x8000}}, true);
  bmp("16-bit 5-5-5, every level", AllColours(), {.Bits = 16}, false, kFiveBitTolerance);
  bmp("16-bit 5-6-5 bit fields, every level", AllColours(),
      {.Bits = 16, .Compression = 3, .Masks = {0xF800, 0x07E0, 0x001F, 0}}, false, kFiveBitTolerance);
  bmp("24-bit", AllColours(), {});
  bmp("24-bit wrong image-size field", AllColours(), {.ImageSizeField = 12345});
  bmp("24-bit top-down, gap before the pixels", AllColours(), {.TopDown = true, .GapBeforePixels = 10});
  bmp("24-bit 108-byte header", AllColours(), {.HeaderSize = 108});
  bmp("32-bit plain (fourth byte unused)", AllColours(), {.Bits = 32});
  bmp("32-bit bit fields, 40-byte header", AllColours(), {.Bits = 32, .Compression = 3, .Masks = rgba8888});
  bmp("32-bit alpha bit fields, 40-byte header", AllColours(), {.Bits = 32, .Compression = 6, .Masks = rgba8888}, true);
  bmp("32-bit bit fields, 52-byte header", AllColours(),
      {.Bits = 32, .Compression = 3, .HeaderSize = 52, .Masks = rgba8888});
  bmp("32-bit RGBA order with alpha, 124-byte header", AllColours(),
      {.Bits = 32, .Compression = 3, .HeaderSize = 124, .Masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000}}, true);
  bmp("32-bit bit fields, alpha mask empty", AllColours(),
      {.Bits = 32, .Compression = 3, .HeaderSize = 108, .Masks = {0xFF0000, 0xFF00, 0xFF, 0}});

  tga("colour-mapped", SixteenColours(), {.ImageType = 1, .Bits = 8});
  tga("colour-mapped, 32-bit map with alpha", AllColours(), {.ImageType = 1, .Bits = 8, .MapEntryBits = 32}, true);
  tga("colour-mapped run-length", SixteenColours(), {.ImageType = 9, .Bits = 8});
  tga("colour-mapped, map from entry 40", SixteenColours(), {.ImageType = 1, .Bits = 8, .MapFirst = 40});
  tga("colour-mapped, 16-bit indices, map from entry 300", SixteenColours(),
      {.ImageType = 1, .Bits = 16, .MapFirst = 300});
  tga("colour-mapped run-length, 16-bit indices", SixteenColours(), {.ImageType = 9, .Bits = 16, .MapFirst = 2});
  tga("15-bit", Primaries(), {.Bits = 15});
  tga("16-bit with alpha bit", Primaries(), {.Bits = 16, .AttributeBits = 1}, true);
  tga("16-bit, every level", AllColours(), {.Bits = 16}, false, kFiveBitTolerance);
  tga("24-bit", AllColours(), {});
  tga("24-bit top-left origin, image id", AllColours(), {.TopOrigin = true, .Id = "made by a test"});
  tga("24-bit right to left", AllColours(), {.RightToLeft = true});
  tga("32-bit", AllColours(), {.Bits = 32}, true);
  tga("32-bit without alpha bits", AllColours(), {.Bits = 32, .AttributeBits = 0}, true);
  tga("run-length 24-bit", SixteenColours(), {.ImageType = 10});
  tga("run-length 32-bit, top origin", AllColours(), {.ImageType = 10, .Bits = 32, .TopOrigin = true}, true);
  tga("run-length 16-bit", Primaries(), {.ImageType = 10, .Bits = 16});
  const TestPicture grey = DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t g = static_cast<uint32_t>(y % 2 ? x * 19 : (x / 4) * 60);
    return 0xFF000000u | g << 16 | g << 8 | g;
  });
  tga("grey", grey, {.ImageType = 3, .Bits = 8});
  tga("run-length grey", grey, {.ImageType = 11, .Bits = 8});

  // Flat 8 x 8 blocks keep JPEG's loss small enough to compare with a tolerance; where colour is
  // stored at half resolution, only the brightness changes from block to block.
  const TestPicture blocks = DrawPicture(32, 24, [](int x, int y) {
    const uint32_t b = static_cast<uint32_t>(x / 8 + (y / 8) * 4);
    return 0xFF000000u | (b * 20) << 16 | (240 - b * 17) << 8 | (b % 3) * 100;
  });
  const TestPicture greyBlocks = DrawPicture(32, 24, [](int x, int y) {
    const uint32_t g = static_cast<uint32_t>(x / 8 + (y / 8) * 4) * 20;
    return 0xFF000000u | g << 16 | g << 8 | g;
  });
  jpeg("baseline", blocks, {});
  jpeg("progressive", blocks, {.Progressive = true});
  jpeg("grey", greyBlocks, {.Grey = true});
  jpeg("colour at half resolution", greyBlocks, {.HalfColour = true});
  jpeg("CMYK", blocks, {.Cmyk = true});
  jpeg("CMYK with black", blocks, {.Cmyk = true, .Black = true});
  jpeg("CMYK with black, plain inks without Adobe marker", blocks, {.Cmyk = true, .Black = true, .NoAdobeMarker = true});
  return v;
}

RgbaImage Mirrored(const RgbaImage& image) {
  RgbaImage out = image;
  for (size_t y = 0; y < image.Height; ++y)
    for (size_t x = 0; x < image.Width; ++x)
      for (size_t c = 0; c < 4; ++c)
        out.Pixels[(y * image.Width + x) * 4 + c] = image.Pixels[(y * image.Width + image.Width - 1 - x) * 4 + c];
  return out;
}

}  // namespace kestrel::testing
