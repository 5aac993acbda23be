// Every variant the decoders read, written by the test-side writers from pixels the test knows,
// decoded and compared pixel for pixel; and every truncated prefix of each refused cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "studio/image/image_decoder.h"
#include "studio/image/testing/image_variants.h"

namespace kestrel {
namespace {

using testing::ImageVariant;

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
  for (const ImageVariant& v : testing::ImageVariants()) {
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
  for (const ImageVariant& v : testing::ImageVariants()) {
    SCOPED_TRACE(v.Name);
    for (size_t length = 0; length < v.Bytes.size(); ++length) {
      // A copy of exactly `length` bytes, so that a read past it shows under the sanitizers.
      const std::vector<uint8_t> prefix(v.Bytes.begin(), v.Bytes.begin() + static_cast<ptrdiff_t>(length));
      EXPECT_THROW(DecodeImage(v.Kind, prefix.data(), prefix.size()), ImageDecodeError) << length << " bytes";
    }
  }
}

TEST(ImageDecoders, TargaAlphaFollowsWhatTheFileStores) {
  // 16 bits: the top bit is alpha only where the descriptor announces one attribute bit.
  const testing::TestPicture halfClear =
      testing::DrawPicture(2, 1, [](int x, int) { return x ? 0xFF00FF00u : 0x00FF0000u; });
  for (uint8_t attributeBits : {0, 1}) {
    const auto bytes = testing::TgaBytes(halfClear, {.Bits = 16, .AttributeBits = attributeBits});
    const RgbaImage image = DecodeTarga(bytes.data(), bytes.size());
    EXPECT_EQ(image.HasAlpha, attributeBits == 1);
    EXPECT_EQ(image.Pixels[3], attributeBits == 1 ? 0 : 255);
  }
  // 32 bits announcing no alpha: the stored fourth bytes count, unless every one is 0.
  const testing::TestPicture clear =
      testing::DrawPicture(2, 1, [](int x, int) { return x ? 0x00FFFFFFu : 0x00102030u; });
  const auto bytes = testing::TgaBytes(clear, {.Bits = 32, .AttributeBits = 0});
  const RgbaImage image = DecodeTarga(bytes.data(), bytes.size());
  EXPECT_FALSE(image.HasAlpha);
  EXPECT_EQ(image.Pixels, testing::RgbaBytes(clear, false));
}

TEST(ImageDecoders, KindFollowsTheExtensionInAnyCase) {
  const std::vector<std::pair<std::string, std::optional<ImageKind>>> cases = {
      {"WALL.BMP", ImageKind::Bmp},        {"wall.bmp", ImageKind::Bmp}, {"dir.tga/Wall.Bmp", ImageKind::Bmp},
      {"SKY.TGA", ImageKind::Targa},       {"a.JPG", ImageKind::Jpeg},   {"a.jpeg", ImageKind::Jpeg},
      {"CAR.MTS", std::nullopt},           {"BMP", std::nullopt},        {"picture.png", std::nullopt},
      {"archive.bmp/readme", std::nullopt}};
  for (const auto& [name, kind] : cases) EXPECT_EQ(ImageKindOfName(name), kind) << name;
}

}  // namespace
}  // namespace kestrel
