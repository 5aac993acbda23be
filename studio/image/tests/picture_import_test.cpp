// Pictures written in an entry's own format: exact round trips through PNG for every variant the
// decoders read, painted pictures that come back as painted, palettes, alpha, sizes, and JPEG's
// quality estimate and loss.
#include "studio/image/picture_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cmath>
#include <set>

#include "studio/image/png_writer.h"
#include "studio/image/testing/image_variants.h"

namespace kestrel {
namespace {

using testing::ImageVariant;
using testing::ImageVariants;
using testing::Mirrored;

RgbaImage Decoded(ImageKind kind, const std::vector<uint8_t>& bytes) { return DecodeImage(kind, bytes.data(), bytes.size()); }

RgbaImage Drawn(uint32_t width, uint32_t height, bool alpha, uint32_t seed = 1) {
  RgbaImage image{width, height, alpha, {}};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      image.Pixels.insert(image.Pixels.end(),
                          {static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 255 / height),
                           static_cast<uint8_t>((x * y + seed * 40) % 256),
                           static_cast<uint8_t>(alpha ? (x * 23 + y * 7) % 256 : 255)});
  return image;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The bytes before the pixel data: the bitmap's headers, masks and palette without its two size
// fields; the Targa header, id and colour map.
std::vector<uint8_t> LayoutBytes(ImageKind kind, std::vector<uint8_t> b) {
  if (kind == ImageKind::Bmp) {
    b.resize(U32At(b, 10));
    for (size_t at : {size_t{2}, size_t{34}})
      if (at + 4 <= b.size()) std::fill(b.begin() + at, b.begin() + at + 4, 0);
    return b;
  }
  const size_t mapEntryBytes = (b[7] + 7u) / 8;
  b.resize(18 + b[0] + (b[1] ? (b[5] | b[6] << 8) * mapEntryBytes : 0));
  return b;
}

// Entries of a palette or colour map: the palette's size; 0 for the others.
size_t PaletteSize(const ImageVariant& v) {
  const std::vector<uint8_t>& b = v.Bytes;
  if (v.Kind == ImageKind::Targa) return b[1] ? static_cast<size_t>(b[5] | b[6] << 8) : 0;
  if (v.Kind != ImageKind::Bmp) return 0;
  const bool core = U32At(b, 14) == 12;
  const unsigned bits = core ? b[24] : b[28];
  if (bits > 8) return 0;
  return core || U32At(b, 46) == 0 ? size_t{1} << bits : U32At(b, 46);
}

bool Warns(const EncodedPicture& result, const std::string& about) {
  for (const std::string& w : result.Warnings)
    if (w.find(about) != std::string::npos) return true;
  return false;
}

bool IsLossless(const ImageVariant& v) { return v.Kind != ImageKind::Jpeg; }

TEST(PictureImport, EveryVariantComesBackThroughPngAsTheSameBytes) {
  for (const ImageVariant& v : ImageVariants()) {
    SCOPED_TRACE(v.Name);
    const RgbaImage picture = DecodePictureFile("painted.PNG", EncodePng(Decoded(v.Kind, v.Bytes)).data(),
                                                EncodePng(Decoded(v.Kind, v.Bytes)).size());
    const EncodedPicture result = EncodeLikeEntry(v.Kind, v.Bytes, picture);
    EXPECT_TRUE(result.Unchanged);
    EXPECT_EQ(result.Bytes, v.Bytes);
    EXPECT_TRUE(result.Warnings.empty());
  }
}

TEST(PictureImport, PaintedPicturesComeBackExactlyInTheEntrysLayout) {
  // Every layout holds the mirrored picture exactly, so depth, masks, palette, row order and
  // run-length form all have to be written right for it to come back.
  for (const ImageVariant& v : ImageVariants()) {
    if (!IsLossless(v)) continue;
    SCOPED_TRACE(v.Name);
    const RgbaImage present = Decoded(v.Kind, v.Bytes);
    const RgbaImage painted = Mirrored(present);
    const EncodedPicture result = EncodeLikeEntry(v.Kind, v.Bytes, painted);
    ASSERT_FALSE(result.Unchanged);
    EXPECT_TRUE(result.Warnings.empty()) << result.Warnings.front();
    const RgbaImage back = Decoded(v.Kind, result.Bytes);
    EXPECT_EQ(back.Pixels, painted.Pixels);
    EXPECT_EQ(back.HasAlpha, present.HasAlpha);
    EXPECT_EQ(LayoutBytes(v.Kind, result.Bytes), LayoutBytes(v.Kind, v.Bytes));
    // And back again: the entry's own pixels in the new file's layout give the entry's pixels.
    EXPECT_EQ(Decoded(v.Kind, EncodeLikeEntry(v.Kind, result.Bytes, present).Bytes).Pixels, present.Pixels);
  }
}

TEST(PictureImport, ColoursOutsideThePaletteAreReducedToAPaletteOfTheSameSize) {
  const RgbaImage many = Drawn(13, 6, false);  // 78 colours
  for (const ImageVariant& v : ImageVariants()) {
    const size_t paletteSize = PaletteSize(v);
    if (paletteSize == 0) continue;
    SCOPED_TRACE(v.Name);
    const EncodedPicture result = EncodeLikeEntry(v.Kind, v.Bytes, many);
    ASSERT_EQ(result.Warnings.size(), 1u);
    EXPECT_NE(result.Warnings[0].find("reduced to a new"), std::string::npos) << result.Warnings[0];
    EXPECT_EQ(LayoutBytes(v.Kind, result.Bytes).size(), LayoutBytes(v.Kind, v.Bytes).size()) << "palette size kept";
    const RgbaImage back = Decoded(v.Kind, result.Bytes);
    std::set<uint32_t> colours;
    double error = 0;
    for (size_t i = 0; i < back.Pixels.size(); i += 4) {
      colours.insert(U32At(back.Pixels, i));
      for (int c = 0; c < 3; ++c) error += std::abs(back.Pixels[i + c] - many.Pixels[i + c]);
    }
    EXPECT_LE(colours.size(), paletteSize);
    EXPECT_GT(colours.size(), 1u);
    // Fewer colours cost some accuracy, but the picture stays recognisable.
    EXPECT_LT(error / (back.Pixels.size() / 4 * 3), paletteSize == 2 ? 80.0 : 25.0);
  }
}

TEST(PictureImport, AlphaIsKeptWhereTheFormatHasItAndDroppedWithAWarningElsewhere) {
  const RgbaImage translucent = Drawn(13, 6, true);
  const RgbaImage opaque = Drawn(13, 6, false, 2);
  const std::vector<std::tuple<std::string, const RgbaImage*, bool>> cases = {
      // variant, picture, whether the entry keeps alpha
      {"BMP 24-bit", &translucent, false},
      {"BMP 32-bit alpha bit fields, 40-byte header", &translucent, true},
      {"BMP 32-bit RGBA order with alpha, 124-byte header", &translucent, true},
      {"BMP 32-bit bit fields, 52-byte header", &translucent, false},
      {"TGA 32-bit", &translucent, true},
      {"TGA 24-bit", &translucent, false},
      {"JPEG baseline", &translucent, false},
      {"TGA 32-bit", &opaque, true},
      {"BMP 32-bit alpha bit fields, 40-byte header", &opaque, true},
  };
  const std::vector<ImageVariant> variants = ImageVariants();
  for (const auto& [name, picture, keepsAlpha] : cases) {
    SCOPED_TRACE(name + (picture->HasAlpha ? ", translucent" : ", opaque"));
    const auto v = std::find_if(variants.begin(), variants.end(), [&](auto& x) { return x.Name == name; });
    ASSERT_NE(v, variants.end());
    const EncodedPicture result = EncodeLikeEntry(v->Kind, v->Bytes, *picture);
    EXPECT_EQ(Warns(result, "transparency is dropped"), picture->HasAlpha && !keepsAlpha);
    const RgbaImage back = Decoded(v->Kind, result.Bytes);
    for (size_t i = 3; i < back.Pixels.size(); i += 4)
      ASSERT_EQ(back.Pixels[i], keepsAlpha ? picture->Pixels[i] : 255) << "pixel " << i / 4;
    if (v->Kind != ImageKind::Jpeg) {
      for (size_t i = 0; i < back.Pixels.size(); i += 4)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(back.Pixels[i + c], picture->Pixels[i + c]) << "pixel " << i / 4;
    }
  }
}

TEST(PictureImport, OtherSizesAreTakenWithAWarningWhenASideIsNoPowerOfTwo) {
  const std::vector<std::tuple<uint32_t, uint32_t, bool>> sizes = {{16, 8, false}, {64, 256, false}, {20, 8, true},
                                                                   {16, 12, true}};
  for (const ImageVariant& v : ImageVariants()) {
    if (v.Name != "BMP 24-bit" && v.Name != "TGA run-length 32-bit, top origin" && v.Name != "JPEG baseline" &&
        v.Name != "BMP 8-bit top-down, 124-byte header" && v.Name != "TGA colour-mapped")
      continue;
    for (const auto& [width, height, warned] : sizes) {
      SCOPED_TRACE(v.Name + ", " + std::to_string(width) + " x " + std::to_string(height));
      const RgbaImage picture = Drawn(width, height, false);
      const EncodedPicture result = EncodeLikeEntry(v.Kind, v.Bytes, picture);
      EXPECT_EQ(Warns(result, "power of two"), warned);
      const RgbaImage back = Decoded(v.Kind, result.Bytes);
      EXPECT_EQ(back.Width, width);
      EXPECT_EQ(back.Height, height);
      if (v.Name == "BMP 24-bit") {
        EXPECT_EQ(back.Pixels, picture.Pixels);
      }
    }
  }
}

TEST(PictureImport, DamagedPicturesAndUnknownExtensionsAreRefused) {
  const std::vector<uint8_t> png = EncodePng(Drawn(4, 4, true));
  std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"cut.png", cut}, {"empty.png", {}}, {"picture.gif", png}, {"noextension", png}, {"png.bmp", png}};
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_THROW(DecodePictureFile(name, bytes.data(), bytes.size()), ImageDecodeError);
  }
  EXPECT_TRUE(IsPictureFileName("a.Jpeg"));
  EXPECT_FALSE(IsPictureFileName("a.pngx"));
  const RgbaImage back = DecodePictureFile("x.png", png.data(), png.size());
  EXPECT_TRUE(back.HasAlpha);
  EXPECT_EQ(back.Pixels, Drawn(4, 4, true).Pixels);
}

}  // namespace
}  // namespace kestrel
