#include "studio/image/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include "archive/file_error.h"
#include "archive/testing/mas_builder.h"

namespace kestrel {
namespace {

RgbaImage Picture(bool alpha) {
  RgbaImage image;
  image.Width = 5;
  image.Height = 3;
  image.HasAlpha = alpha;
  for (uint32_t i = 0; i < 15; ++i)
    image.Pixels.insert(image.Pixels.end(), {static_cast<uint8_t>(i * 17), static_cast<uint8_t>(255 - i),
                                             static_cast<uint8_t>(i * 3), static_cast<uint8_t>(alpha ? i * 16 : 255)});
  return image;
}

// libpng's own reader, as RGBA whatever the file holds, and whether the file has alpha.
std::pair<std::vector<uint8_t>, bool> ReadBack(const std::vector<uint8_t>& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
  return {pixels, alpha};
}

TEST(PngWriter, PixelsComeBackWithAlphaOnlyWhereThePictureHasIt) {
  for (bool alpha : {false, true}) {
    const RgbaImage picture = Picture(alpha);
    const std::vector<uint8_t> png = EncodePng(picture);
    EXPECT_EQ(png, EncodePng(picture)) << "the same picture gives the same bytes";
    const auto [pixels, fileHasAlpha] = ReadBack(png);
    EXPECT_EQ(fileHasAlpha, alpha);
    EXPECT_EQ(pixels, picture.Pixels);
  }
}

TEST(PngWriter, FileIsReplacedWholeAndRefusalsLeaveNothingBehind) {
  testing::TempDir dir;
  const std::string path = dir / "out.png";
  testing::WriteFileBytes(path, {1, 2, 3});
  WritePngFile(path, Picture(true));
  EXPECT_EQ(testing::ReadFileBytes(path), EncodePng(Picture(true)));

  ASSERT_EQ(mkdir((dir / "folder.png").c_str(), 0755), 0);
  EXPECT_THROW(WritePngFile(dir / "folder.png", Picture(false)), EInOutError);
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"folder.png", "out.png"}));
}

TEST(PngWriter, APictureWhosePixelsDoNotMatchItsSizeIsRefused) {
  RgbaImage broken = Picture(false);
  broken.Pixels.pop_back();
  EXPECT_THROW(EncodePng(broken), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
