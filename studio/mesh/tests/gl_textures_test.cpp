// The texture loaders: which loader a path picks, their messages, and the exact pixels they hand
// to OpenGL (rows bottom first, without padding, in the format each loader uploads).
#include <gtest/gtest.h>

#include "archive/testing/mas_builder.h"
#include "studio/mesh/tests/recording_gl.h"
#include "studio/image/testing/image_writers.h"
#include "studio/mesh/gl_textures.h"

namespace kestrel::testing {
namespace {

struct Shown {
  std::string caption, text;
  bool operator==(const Shown&) const = default;
};

// Every pixel different, with varying alpha, so that a row or channel out of place shows.
TestPicture Distinct(int width, int height) {
  return DrawPicture(width, height, [](int x, int y) {
    return static_cast<uint32_t>((0x40 + 0x20 * y) << 24 | (10 + 40 * x) << 16 | (200 - 30 * y) << 8 | (7 * x + 50 * y));
  });
}

// What the upload must receive: bottom row first, 3 or 4 bytes per pixel.
std::vector<uint8_t> BottomFirst(const TestPicture& picture, TexturePixelFormat format, bool keepAlpha) {
  std::vector<uint8_t> bytes;
  for (int y = picture.Height - 1; y >= 0; --y)
    for (int x = 0; x < picture.Width; ++x) {
      const uint32_t argb = picture.At(x, y);
      bytes.insert(bytes.end(), {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb)});
      if (format == TexturePixelFormat::RGBA) bytes.push_back(keepAlpha ? static_cast<uint8_t>(argb >> 24) : 255);
    }
  return bytes;
}

class TextureLoaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFileBytes(dir_ / name, bytes);
    return dir_ / name;
  }
  // Loads through the dispatcher; the texture name starts at 99.
  uint32_t Load(const std::string& path) {
    uint32_t name = 99;
    loaders_.LoadTextureFile(path, name);
    return name;
  }

  TempDir dir_;
  RecordingGL gl_;
  std::vector<Shown> shown_;
  GLTextures loaders_{gl_, [this](const std::string& caption, const std::string& text) {
                        shown_.push_back({caption, text});
                      }};
};

TEST_F(TextureLoaderTest, TheLastFourCharactersPickTheLoader) {
  const std::vector<uint8_t> bmp = BmpBytes(Distinct(2, 2), {});
  ::mkdir((dir_ / "dir.tga").c_str(), 0777);
  for (const std::string name : {"a.bmp", "b.BMP", "c.Bmp", "dir.tga/d.bmp"}) {
    SCOPED_TRACE(name);
    gl_.uploads.clear();
    EXPECT_NE(Load(Write(name, bmp)), 99u);
    ASSERT_EQ(gl_.uploads.size(), 1u);
    EXPECT_EQ(gl_.uploads[0].format, TexturePixelFormat::RGB);
  }
  gl_.uploads.clear();
  EXPECT_EQ(Load(Write("e.png", bmp)), 99u);
  EXPECT_EQ(Load(Write("bmp", bmp)), 99u);
  EXPECT_EQ(Load(Write("f.jpeg", JpegBytes(Distinct(2, 2), {}))), 99u);
  EXPECT_TRUE(gl_.uploads.empty());
  EXPECT_TRUE(shown_.empty());
}

TEST_F(TextureLoaderTest, FailuresAreReportedWithTheirCaptionsAndLeaveTheNameAlone) {
  const std::vector<uint8_t> bmp = BmpBytes(Distinct(4, 4), {});
  BmpLayout paletted;
  paletted.Bits = 8;
  const std::vector<uint8_t> bmp8 = BmpBytes(Distinct(4, 4), paletted);
  TgaLayout type1;
  type1.ImageType = 1;
  type1.Bits = 8;
  TgaLayout sixteen;
  sixteen.Bits = 16;
  std::vector<uint8_t> mapped = TgaBytes(Distinct(4, 4), {});
  mapped[1] = 1;  // a colour map on a true-colour image
  const std::vector<uint8_t> tga = TgaBytes(Distinct(4, 4), {});

  struct Case {
    std::string file;
    std::vector<uint8_t> bytes;  // empty: the file is not there
    const char* caption;
    std::string text;  // "@" stands for the path
  };
  const Case cases[] = {
      {"gone.bmp", {}, "BMP Unit", "Error opening @"},
      {"palette.bmp", {bmp8.begin(), bmp8.begin() + 60}, "BMP Unit", "Error reading palette"},
      {"short.bmp", {bmp.begin(), bmp.end() - 5}, "BMP Unit", "Error reading bitmap data"},
      {"header.bmp", {bmp.begin(), bmp.begin() + 20}, "BMP Unit", "Error reading bitmap data"},
      {"bad.jpg", {1, 2, 3, 4}, "BMP Unit", "Couldn't load JPG - \"@\""},
      {"gone.jpg", {}, "BMP Unit", "Couldn't load JPG - \"@\""},
      {"gone.tga", {}, "TGA Texture", "File not found  - @"},
      {"type1.tga", TgaBytes(Distinct(4, 4), type1), "TGA File Error",
       "Couldn't load \"@\". Only 24 and 32bit TGA supported."},
      {"mapped.tga", mapped, "TGA File Error", "Couldn't load \"@\". Colormapped TGA files not supported."},
      {"16.tga", TgaBytes(Distinct(4, 4), sixteen), "TGA File Error",
       "Couldn't load \"@\". Only 24 and 32 bit TGA files supported."},
      {"short.tga", {tga.begin(), tga.end() - 3}, "TGA File Error", "Couldn't read file \"@\"."},
      {"header.tga", {tga.begin(), tga.begin() + 10}, "TGA File Error", "Couldn't read file \"@\"."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = c.bytes.empty() ? dir_ / c.file : Write(c.file, c.bytes);
    shown_.clear();
    EXPECT_EQ(Load(path), 99u);
    std::string text = c.text;
    if (const size_t at = text.find('@'); at != std::string::npos) text.replace(at, 1, path);
    EXPECT_EQ(shown_, (std::vector<Shown>{{c.caption, text}}));
  }
  EXPECT_TRUE(gl_.uploads.empty());
}

TEST_F(TextureLoaderTest, RowsAreUploadedWithoutPaddingBottomFirst) {
  // Widths whose rows of 3 bytes are no multiple of 4 were sheared when read with padding.
  for (const int width : {1, 2, 3, 5}) {
    SCOPED_TRACE(width);
    const TestPicture picture = Distinct(width, 3);
    gl_.uploads.clear();
    EXPECT_NE(Load(Write("w" + std::to_string(width) + ".bmp", BmpBytes(picture, {}))), 99u);
    ASSERT_EQ(gl_.uploads.size(), 1u);
    EXPECT_EQ(gl_.uploads[0].width, width);
    EXPECT_EQ(gl_.uploads[0].height, 3);
    EXPECT_EQ(gl_.uploads[0].pixels, BottomFirst(picture, TexturePixelFormat::RGB, false));
  }
}

TEST_F(TextureLoaderTest, EveryBitmapDepthAndOrientationGivesTheRightColours) {
  const TestPicture picture = DrawPicture(5, 3, [](int x, int y) { return 0xFF000000u | (x * 50) << 16 | (y * 90) << 8 | 0x30; });
  struct Case {
    const char* what;
    BmpLayout layout;
  };
  BmpLayout p4, p8, b16, b32, topDown, core;
  core.HeaderSize = 12;
  core.Bits = 8;
  p4.Bits = 4;
  p8.Bits = 8;
  b16.Bits = 16;
  b16.Compression = 3;
  b16.Masks = {0xF800, 0x07E0, 0x001F, 0};
  b32.Bits = 32;
  topDown.TopDown = true;
  const Case cases[] = {{"4-bit palette", p4}, {"8-bit palette", p8}, {"32-bit", b32}, {"top-down", topDown},
                       {"12-byte header, 8-bit palette", core}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gl_.uploads.clear();
    Load(Write("depth.bmp", BmpBytes(picture, c.layout)));
    ASSERT_EQ(gl_.uploads.size(), 1u);
    EXPECT_EQ(gl_.uploads[0].pixels, BottomFirst(picture, TexturePixelFormat::RGB, false));
  }

  // 16 bits keep 5 or 6 bits a channel: compare each channel within what those bits hold.
  gl_.uploads.clear();
  Load(Write("sixteen.bmp", BmpBytes(picture, b16)));
  ASSERT_EQ(gl_.uploads.size(), 1u);
  const std::vector<uint8_t> exact = BottomFirst(picture, TexturePixelFormat::RGB, false);
  ASSERT_EQ(gl_.uploads[0].pixels.size(), exact.size());
  for (size_t i = 0; i < exact.size(); ++i) EXPECT_NEAR(gl_.uploads[0].pixels[i], exact[i], 8) << i;
}

TEST_F(TextureLoaderTest, TargaFilesKeepTheirOrientationAndAlpha) {
  const TestPicture picture = Distinct(3, 2);
  TgaLayout top24, bottom32, top32rle;
  top24.TopOrigin = true;
  bottom32.Bits = 32;
  top32rle.Bits = 32;
  top32rle.ImageType = 10;
  top32rle.TopOrigin = true;

  Load(Write("top24.tga", TgaBytes(picture, top24)));
  Load(Write("bottom32.tga", TgaBytes(picture, bottom32)));
  Load(Write("top32rle.tga", TgaBytes(picture, top32rle)));
  ASSERT_EQ(gl_.uploads.size(), 3u);
  EXPECT_EQ(gl_.uploads[0].format, TexturePixelFormat::RGB);
  EXPECT_EQ(gl_.uploads[0].pixels, BottomFirst(picture, TexturePixelFormat::RGB, false));
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(gl_.uploads[i].format, TexturePixelFormat::RGBA);
    EXPECT_EQ(gl_.uploads[i].pixels, BottomFirst(picture, TexturePixelFormat::RGBA, true));
  }
  EXPECT_TRUE(shown_.empty());
}

TEST_F(TextureLoaderTest, RunLengthPacketsRepeatOrCopyPixels) {
  // 12 x 1, 24 bits, image type 10: header byte 0x85 repeats one pixel 6 times, 0x05 is followed
  // by 6 literal pixels. Pixels are stored blue, green, red.
  std::vector<uint8_t> tga(18, 0);
  tga[2] = 10;
  tga[12] = 12;
  tga[14] = 1;
  tga[16] = 24;
  const std::vector<uint8_t> packets = {0x85, 3, 2, 1, 0x05, 10, 11, 12, 20, 21, 22, 30, 31, 32,
                                        40,   41, 42, 50, 51, 52, 60, 61, 62};
  tga.insert(tga.end(), packets.begin(), packets.end());
  EXPECT_NE(Load(Write("rle.tga", tga)), 99u);
  ASSERT_EQ(gl_.uploads.size(), 1u);
  const std::vector<uint8_t> expected = {1,  2,  3,  1,  2,  3,  1,  2,  3,  1,  2,  3,  1,  2,  3,  1,  2,  3,
                                         12, 11, 10, 22, 21, 20, 32, 31, 30, 42, 41, 40, 52, 51, 50, 62, 61, 60};
  EXPECT_EQ(gl_.uploads[0].pixels, expected);
}

TEST_F(TextureLoaderTest, JpegTexturesAreRgbaWithFullAlpha) {
  const TestPicture grey = DrawPicture(8, 8, [](int, int) { return 0x10808080u; });
  EXPECT_NE(Load(Write("t.JPG", JpegBytes(grey, {}))), 99u);
  ASSERT_EQ(gl_.uploads.size(), 1u);
  EXPECT_EQ(gl_.uploads[0].format, TexturePixelFormat::RGBA);
  ASSERT_EQ(gl_.uploads[0].pixels.size(), 8u * 8u * 4u);
  for (size_t i = 0; i < gl_.uploads[0].pixels.size(); i += 4) {
    EXPECT_NEAR(gl_.uploads[0].pixels[i], 0x80, 2);
    EXPECT_EQ(gl_.uploads[0].pixels[i + 3], 255);
  }
}

}  // namespace
}  // namespace kestrel::testing
