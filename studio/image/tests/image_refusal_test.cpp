// Damaged and hostile files: each is refused with a reason, never read or written past its bounds.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "archive/byte_reader.h"
#include "studio/image/image_decoder.h"
#include "studio/image/testing/image_writers.h"

namespace kestrel {
namespace {

using testing::BmpLayout;
using testing::TgaLayout;

testing::TestPicture Plain(int width, int height) {
  return testing::DrawPicture(width, height,
                              [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 40 + y); });
}

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t v) {
  bytes[at] = static_cast<uint8_t>(v);
  bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string RefusalOf(ImageKind kind, const std::vector<uint8_t>& bytes) {
  try {
    DecodeImage(kind, bytes.data(), bytes.size());
  } catch (const ImageDecodeError& e) {
    return e.what();
  }
  return "(decoded)";
}

// A bitmap of `width` x `height` 8-bit pixels whose run-length data is `rle`, palette of two.
std::vector<uint8_t> Rle8Bitmap(int width, int height, const std::vector<uint8_t>& rle) {
  ByteWriter w;
  w.U8('B');
  w.U8('M');
  w.U32(0);
  w.U32(0);
  w.U32(14 + 40 + 8);
  w.U32(40);
  w.I32(width);
  w.I32(height);
  w.U16(1);
  w.U16(8);
  w.U32(1);  // RLE8
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.U32(2);  // two colours: red, then green
  w.U32(0);
  w.U32(0x00FF0000);
  w.U32(0x0000FF00);
  w.Raw(rle.data(), rle.size());
  return std::move(w.Bytes());
}

TEST(ImageRefusals, SidesOfZeroOrAboveTheLimit) {
  const auto bmp = testing::BmpBytes(Plain(3, 2), {});
  const auto tga = testing::TgaBytes(Plain(3, 2), {});
  struct Case {
    const char* Name;
    ImageKind Kind;
    std::vector<uint8_t> Bytes;
    size_t WidthAt, HeightAt;
    bool Wide;  // 32-bit fields (bitmaps) or 16-bit (Targa)
    int64_t Width, Height;
  };
  const std::vector<Case> cases = {
      {"bitmap width 0", ImageKind::Bmp, bmp, 18, 22, true, 0, 2},
      {"bitmap height 0", ImageKind::Bmp, bmp, 18, 22, true, 3, 0},
      {"bitmap negative width", ImageKind::Bmp, bmp, 18, 22, true, -3, 2},
      {"bitmap width above the limit", ImageKind::Bmp, bmp, 18, 22, true, 16385, 2},
      {"bitmap top-down height above the limit", ImageKind::Bmp, bmp, 18, 22, true, 3, -16385},
      {"bitmap height INT32_MIN", ImageKind::Bmp, bmp, 18, 22, true, 3, INT32_MIN},
      {"bitmap of 16384 x 16384 with six pixels of data", ImageKind::Bmp, bmp, 18, 22, true, 16384, 16384},
      {"Targa width 0", ImageKind::Targa, tga, 12, 14, false, 0, 2},
      {"Targa height above the limit", ImageKind::Targa, tga, 12, 14, false, 3, 65535},
      {"Targa of 16384 x 16384 with six pixels of data", ImageKind::Targa, tga, 12, 14, false, 16384, 16384},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = c.Bytes;
    if (c.Wide) {
      PutU32(bytes, c.WidthAt, static_cast<uint32_t>(c.Width));
      PutU32(bytes, c.HeightAt, static_cast<uint32_t>(c.Height));
    } else {
      PutU16(bytes, c.WidthAt, static_cast<uint16_t>(c.Width));
      PutU16(bytes, c.HeightAt, static_cast<uint16_t>(c.Height));
    }
    EXPECT_NE(RefusalOf(c.Kind, bytes), "(decoded)") << c.Name;
  }

  // The largest side accepted is the limit itself.
  const auto widest = testing::BmpBytes(Plain(16384, 1), {});
  EXPECT_EQ(DecodeBmp(widest.data(), widest.size()).Width, 16384u);
  EXPECT_NE(RefusalOf(ImageKind::Bmp, testing::BmpBytes(Plain(16385, 1), {})), "(decoded)");
  EXPECT_NE(RefusalOf(ImageKind::Jpeg, testing::JpegBytes(Plain(16385, 1), {})), "(decoded)");
}

TEST(ImageRefusals, RunLengthDataThatWouldWritePastThePicture) {
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> bitmaps = {
      {"run longer than the row", Rle8Bitmap(4, 2, {5, 0, 0, 1})},
      {"run after the row is full", Rle8Bitmap(4, 2, {4, 0, 1, 1, 0, 1})},
      {"literal longer than the row", Rle8Bitmap(4, 2, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1})},
      {"delta past the right edge, then a run", Rle8Bitmap(4, 2, {0, 2, 4, 0, 1, 0, 0, 1})},
      {"delta past the top, then a run", Rle8Bitmap(4, 2, {0, 2, 0, 2, 1, 0, 0, 1})},
      {"a third line in a picture of two", Rle8Bitmap(4, 2, {4, 0, 0, 0, 4, 0, 0, 0, 1, 1, 0, 1})},
      {"no end-of-bitmap code", Rle8Bitmap(4, 2, {4, 0, 0, 0, 4, 1})},
      {"literal reaching past the data", Rle8Bitmap(4, 2, {0, 4, 1, 1})},
  };
  for (const auto& [name, bytes] : bitmaps) EXPECT_NE(RefusalOf(ImageKind::Bmp, bytes), "(decoded)") << name;

  // Targa, 2 x 2 pixels of 24 bits, run-length: a run of 5 and a literal stretch of 5.
  std::vector<uint8_t> tga = testing::TgaBytes(Plain(2, 2), {.ImageType = 10});
  tga.resize(18);
  std::vector<uint8_t> run = tga;
  run.insert(run.end(), {0x84, 1, 2, 3});
  std::vector<uint8_t> literal = tga;
  literal.insert(literal.end(), {0x04});
  literal.insert(literal.end(), 15, 7);
  EXPECT_NE(RefusalOf(ImageKind::Targa, run), "(decoded)");
  EXPECT_NE(RefusalOf(ImageKind::Targa, literal), "(decoded)");
}

TEST(ImageRefusals, RunLengthMovesAndShortPalettesStayInside) {
  // 4 x 2: a red run of 2 on the bottom line, a delta one line up, then index 9 (past the palette
  // of two: black) and one green pixel. What no packet reaches keeps palette entry 0, red.
  const std::vector<uint8_t> bytes = Rle8Bitmap(4, 2, {2, 0, 0, 2, 0, 1, 1, 9, 1, 1, 0, 1});
  const RgbaImage image = DecodeBmp(bytes.data(), bytes.size());
  auto rgb = [&](uint32_t x, uint32_t y) {
    const uint8_t* p = &image.Pixels[(y * image.Width + x) * 4];
    return static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
  };
  const uint32_t red = 0xFF0000, green = 0x00FF00;
  const uint32_t expected[2][4] = {{red, red, 0, green}, {red, red, red, red}};  // top line first
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(rgb(x, y), expected[y][x]) << x << ", " << y;
}

TEST(ImageRefusals, HeadersThatPointOutsideOrAreNotSupported) {
  const auto bmp8 = testing::BmpBytes(Plain(3, 2), {.Bits = 8});
  const auto bmp24 = testing::BmpBytes(Plain(3, 2), {});
  auto patched = [](std::vector<uint8_t> bytes, size_t at, uint32_t v, bool u16 = false) {
    if (u16)
      PutU16(bytes, at, static_cast<uint16_t>(v));
    else
      PutU32(bytes, at, v);
    return bytes;
  };
  auto withByte = [](std::vector<uint8_t> bytes, size_t at, uint8_t v) {
    bytes[at] = v;
    return bytes;
  };
  const auto tga = testing::TgaBytes(Plain(3, 2), {});
  const auto mapped = testing::TgaBytes(Plain(3, 2), {.ImageType = 1, .Bits = 8});
  const std::vector<std::tuple<const char*, ImageKind, std::vector<uint8_t>>> cases = {
      {"no BM signature", ImageKind::Bmp, patched(bmp24, 0, 0x4D42 + 1, true)},
      {"pixel data offset past the end", ImageKind::Bmp, patched(bmp24, 10, 100000)},
      {"pixel data offset inside the headers", ImageKind::Bmp, patched(bmp24, 10, 20)},
      {"header of 64 bytes", ImageKind::Bmp, patched(bmp24, 14, 64)},
      {"2 bits per pixel", ImageKind::Bmp, patched(bmp24, 28, 2, true)},
      {"24 bits with RLE8", ImageKind::Bmp, patched(bmp24, 30, 1)},
      {"JPEG inside a bitmap", ImageKind::Bmp, patched(bmp24, 30, 4)},
      {"palette of 2^32 - 1 colours claimed past the end", ImageKind::Bmp, patched(bmp8, 46, 0xFFFFFFFF)},
      {"top-down run-length", ImageKind::Bmp,
       patched(testing::BmpBytes(Plain(3, 2), {.Bits = 8, .Compression = 1}), 22, static_cast<uint32_t>(-2))},
      {"empty bit-field masks", ImageKind::Bmp,
       testing::BmpBytes(Plain(3, 2), {.Bits = 32, .Compression = 3, .HeaderSize = 52, .Masks = {0, 0, 0, 0}})},
      {"Targa image type 0", ImageKind::Targa, patched(tga, 2, 0, true)},
      {"Targa image type 32", ImageKind::Targa, patched(tga, 2, 32, true)},
      {"Targa of 12 bits", ImageKind::Targa, withByte(tga, 16, 12)},
      {"Targa colour map type 2", ImageKind::Targa, withByte(tga, 1, 2)},
      {"Targa colour-mapped without a map", ImageKind::Targa, withByte(mapped, 1, 0)},
      {"Targa map longer than the file", ImageKind::Targa, patched(mapped, 5, 60000, true)},
      {"Targa ID longer than the file", ImageKind::Targa, withByte(tga, 0, 255)},
      {"not a JPEG", ImageKind::Jpeg, bmp24},
      {"an empty JPEG", ImageKind::Jpeg, {}},
  };
  for (const auto& [name, kind, bytes] : cases) {
    const std::string reason = RefusalOf(kind, bytes);
    EXPECT_NE(reason, "(decoded)") << name;
    EXPECT_FALSE(reason.empty()) << name;
  }
}

}  // namespace
}  // namespace kestrel
