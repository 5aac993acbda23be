// Every variant the decoders read, written by the test-side writers from pixels the test knows,
// decoded and compared pixel for pixel; and every truncated prefix of each refused cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "studio/image/image_decoder.h"
#include "studio/image/testing/image_writers.h"

namespace kestrel {
namespace {

using testing::BmpLayout;
using testing::JpegLayout;
using testing::TestPicture;
using testing::TgaLayout;

// Odd sizes, so that row padding, half-filled bytes and packets across rows all occur.
constexpr int kWidth = 13;
constexpr int kHeight = 6;

TestPicture TwoColours() {
  return testing::DrawPicture(kWidth, kHeight, [](int x, int y) { return (x + y) % 3 ? 0xFF2050A0u : 0xFFF0E010u; });
}

// Sixteen colours in runs (even rows) and in changing stretches (odd rows).
TestPicture SixteenColours() {
  return testing::DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t i = y % 2 ? (x * 7 + y) % 16 : (x / 4 + y) % 16;
    return 0xFF000000u | (i * 16 + 3) << 16 | (255 - i * 9) << 8 | (i * 37 % 256);
  });
}

// Every pixel its own colour and alpha.
TestPicture AllColours() {
  return testing::DrawPicture(kWidth, kHeight, [](int x, int y) {
    return static_cast<uint32_t>((x + y) * 19 % 256) << 24 | static_cast<uint32_t>(x * 37 % 256) << 16 |
           static_cast<uint32_t>(y * 53 % 256) << 8 | static_cast<uint32_t>((x * y * 11 + 7) % 256);
  });
}

// Channels of 0 and 255 only, which every depth holds exactly; alpha 0 or 255.
TestPicture Primaries() {
  return testing::DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t bits = static_cast<uint32_t>(x + y * 3);
    return (bits & 8 ? 0xFF000000u : 0) | (bits & 1 ? 0xFF0000u : 0) | (bits & 2 ? 0xFF00u : 0) | (bits & 4 ? 0xFFu : 0);
  });
}

struct Variant {
  std::string Name;
  TestPicture Picture;
  std::vector<uint8_t> Bytes;
  ImageKind Kind;
  bool HasAlpha = false;
  int Tolerance = 0;  // JPEG is lossy
};

std::vector<Variant> AllVariants() {
  const std::array<uint32_t, 4> rgba8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  std::vector<Variant> v;
  auto bmp = [&](std::string name, const TestPicture& p, BmpLayout layout, bool alpha = false) {
    v.push_back({"BMP " + name, p, testing::BmpBytes(p, layout), ImageKind::Bmp, alpha});
  };
  auto tga = [&](std::string name, const TestPicture& p, TgaLayout layout, bool alpha = false) {
    v.push_back({"TGA " + name, p, testing::TgaBytes(p, layout), ImageKind::Targa, alpha});
  };
  auto jpeg = [&](std::string name, const TestPicture& p, JpegLayout layout) {
    v.push_back({"JPEG " + name, p, testing::JpegBytes(p, layout), ImageKind::Jpeg, false, 12});
  };

  bmp("1-bit", TwoColours(), {.Bits = 1});
  bmp("1-bit core header", TwoColours(), {.Bits = 1, .HeaderSize = 12});
  bmp("4-bit full palette", SixteenColours(), {.Bits = 4, .FullPalette = true});
  bmp("8-bit", SixteenColours(), {.Bits = 8});
  bmp("8-bit core header", SixteenColours(), {.Bits = 8, .HeaderSize = 12});
  bmp("8-bit top-down, 124-byte header", SixteenColours(), {.Bits = 8, .HeaderSize = 124, .TopDown = true});
  bmp("RLE8", SixteenColours(), {.Bits = 8, .Compression = 1});
  bmp("RLE4", SixteenColours(), {.Bits = 4, .Compression = 2});
  bmp("16-bit 5-5-5", Primaries(), {.Bits = 16});
  bmp("16-bit 5-6-5 bit fields", Primaries(), {.Bits = 16, .Compression = 3, .Masks = {0xF800, 0x07E0, 0x001F, 0}});
  bmp("16-bit 1-5-5-5 with alpha, 56-byte header", Primaries(),
      {.Bits = 16, .Compression = 3, .HeaderSize = 56, .Masks = {0x7C00, 0x03E0, 0x001F, 0x8000}}, true);
  bmp("24-bit", AllColours(), {});
  bmp("24-bit wrong image-size field", AllColours(), {.ImageSizeField = 12345});
  bmp("24-bit top-down, gap before the pixels", AllColours(), {.TopDown = true, .GapBeforePixels = 10});
  bmp("24-bit 108-byte header", AllColours(), {.HeaderSize = 108});
  bmp("32-bit plain (fourth byte unused)", AllColours(), {.Bits = 32});
  bmp("32-bit bit fields, 40-byte header", AllColours(), {.Bits = 32, .Compression = 3, .Masks = rgba8888});
  bmp("32-bit alpha bit fields, 40-byte header", AllColours(), {.Bits = 32, .Compression = 6, .Masks = rgba8888},
      true);
  bmp("32-bit bit fields, 52-byte header", AllColours(), {.Bits = 32, .Compression = 3, .HeaderSize = 52,
                                                           .Masks = rgba8888});
  bmp("32-bit RGBA order with alpha, 124-byte header", AllColours(),
      {.Bits = 32, .Compression = 3, .HeaderSize = 124, .Masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000}}, true);
  bmp("32-bit bit fields, alpha mask empty", AllColours(),
      {.Bits = 32, .Compression = 3, .HeaderSize = 108, .Masks = {0xFF0000, 0xFF00, 0xFF, 0}});

  tga("colour-mapped", SixteenColours(), {.ImageType = 1, .Bits = 8});
  tga("colour-mapped, 32-bit map with alpha", AllColours(), {.ImageType = 1, .Bits = 8, .MapEntryBits = 32}, true);
  tga("colour-mapped run-length", SixteenColours(), {.ImageType = 9, .Bits = 8});
  tga("15-bit", Primaries(), {.Bits = 15});
  tga("16-bit with alpha bit", Primaries(), {.Bits = 16, .AttributeBits = 1}, true);
  tga("24-bit", AllColours(), {});
  tga("24-bit top-left origin, image id", AllColours(), {.TopOrigin = true, .Id = "made by a test"});
  tga("24-bit right to left", AllColours(), {.RightToLeft = true});
  tga("32-bit", AllColours(), {.Bits = 32}, true);
  tga("32-bit without alpha bits", AllColours(), {.Bits = 32, .AttributeBits = 0});
  tga("run-length 24-bit", SixteenColours(), {.ImageType = 10});
  tga("run-length 32-bit, top origin", AllColours(), {.ImageType = 10, .Bits = 32, .TopOrigin = true}, true);
  tga("run-length 16-bit", Primaries(), {.ImageType = 10, .Bits = 16});
  const TestPicture grey = testing::DrawPicture(kWidth, kHeight, [](int x, int y) {
    const uint32_t g = static_cast<uint32_t>(y % 2 ? x * 19 : (x / 4) * 60);
    return 0xFF000000u | g << 16 | g << 8 | g;
  });
  tga("grey", grey, {.ImageType = 3, .Bits = 8});
  tga("run-length grey", grey, {.ImageType = 11, .Bits = 8});

  // Flat 8 x 8 blocks keep JPEG's loss small enough to compare with a tolerance; where colour is
  // stored at half resolution, only the brightness changes from block to block.
  const TestPicture blocks = testing::DrawPicture(32, 24, [](int x, int y) {
    const uint32_t b = static_cast<uint32_t>(x / 8 + (y / 8) * 4);
    return 0xFF000000u | (b * 20) << 16 | (240 - b * 17) << 8 | (b % 3) * 100;
  });
  const TestPicture greyBlocks = testing::DrawPicture(32, 24, [](int x, int y) {
    const uint32_t g = static_cast<uint32_t>(x / 8 + (y / 8) * 4) * 20;
    return 0xFF000000u | g << 16 | g << 8 | g;
  });
  jpeg("baseline", blocks, {});
  jpeg("progressive", blocks, {.Progressive = true});
  jpeg("grey", greyBlocks, {.Grey = true});
  jpeg("colour at half resolution", greyBlocks, {.HalfColour = true});
  jpeg("CMYK", blocks, {.Cmyk = true});
  return v;
}

// The first pixel that differs by more than `tolerance` in any channel, described; "" if none.
std::string FirstDifference(const RgbaImage& image, const std::vector<uint8_t>& expected, int tolerance) {
  for (size_t i = 0; i < expected.size(); ++i)
    if (std::abs(image.Pixels[i] - expected[i]) > tolerance) {
      const size_t pixel = i / 4;
      return "pixel (" + std::to_string(pixel % image.Width) + ", " + std::to_string(pixel / image.Width) +
             ") channel " + std::to_string(i % 4) + ": " + std::to_string(image.Pixels[i]) + " instead of " +
             std::to_string(expected[i]);
    }
  return "";
}

TEST(ImageDecoders, EveryVariantGivesThePixelsItWasWrittenWith) {
  for (const Variant& v : AllVariants()) {
    SCOPED_TRACE(v.Name);
    RgbaImage image;
    try {
      image = DecodeImage(v.Kind, v.Bytes.data(), v.Bytes.size());
    } catch (const ImageDecodeError& e) {
      ADD_FAILURE() << "refused: " << e.what();
      continue;
    }
    ASSERT_EQ(image.Width, static_cast<uint32_t>(v.Picture.Width));
    ASSERT_EQ(image.Height, static_cast<uint32_t>(v.Picture.Height));
    EXPECT_EQ(image.HasAlpha, v.HasAlpha);
    ASSERT_EQ(image.Pixels.size(), image.Width * image.Height * 4u);
    EXPECT_EQ(FirstDifference(image, testing::RgbaBytes(v.Picture, v.HasAlpha), v.Tolerance), "");
  }
}

TEST(ImageDecoders, EveryTruncatedPrefixIsRefused) {
  for (const Variant& v : AllVariants()) {
    SCOPED_TRACE(v.Name);
    for (size_t length = 0; length < v.Bytes.size(); ++length) {
      // A copy of exactly `length` bytes, so that a read past it shows under the sanitizers.
      const std::vector<uint8_t> prefix(v.Bytes.begin(), v.Bytes.begin() + static_cast<ptrdiff_t>(length));
      EXPECT_THROW(DecodeImage(v.Kind, prefix.data(), prefix.size()), ImageDecodeError) << length << " bytes";
    }
  }
}

TEST(ImageDecoders, KindFollowsTheExtensionInAnyCase) {
  const std::vector<std::pair<std::string, std::optional<ImageKind>>> cases = {
      {"WALL.BMP", ImageKind::Bmp},      {"wall.bmp", ImageKind::Bmp},   {"dir.tga/Wall.Bmp", ImageKind::Bmp},
      {"SKY.TGA", ImageKind::Targa},     {"a.JPG", ImageKind::Jpeg},     {"a.jpeg", ImageKind::Jpeg},
      {"CAR.MTS", std::nullopt},         {"BMP", std::nullopt},          {"picture.png", std::nullopt},
      {"archive.bmp/readme", std::nullopt}};
  for (const auto& [name, kind] : cases) EXPECT_EQ(ImageKindOfName(name), kind) << name;
}

}  // namespace
}  // namespace kestrel
