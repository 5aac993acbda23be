// JPEG entries: the quality read from the quantisation tables, the layout kept, and the loss a
// painted picture takes, against a JPEG of the same quality made directly from it.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cmath>
#include <iostream>

#include "studio/image/picture_import.h"
#include "studio/image/testing/image_writers.h"

namespace kestrel {
namespace {

using testing::JpegLayout;

testing::TestPicture Scene(int width, int height) {
  // Gradients with a few edges and some texture, as a painted texture has.
  return testing::DrawPicture(width, height, [](int x, int y) {
    const uint32_t r = static_cast<uint32_t>(x * 4 % 256), g = static_cast<uint32_t>(y * 3 % 256);
    const uint32_t b = ((x / 16 + y / 16) % 2 ? 200u : 40u) + static_cast<uint32_t>((x * 7 + y * 13) % 23);
    return 0xFF000000u | r << 16 | g << 8 | b;
  });
}

RgbaImage AsImage(const testing::TestPicture& p) {
  return RgbaImage{static_cast<uint32_t>(p.Width), static_cast<uint32_t>(p.Height), false, testing::RgbaBytes(p, false)};
}

struct JpegHeader {
  J_COLOR_SPACE ColourSpace;
  bool Progressive;
  std::vector<int> Sampling;
};

JpegHeader HeaderOf(const std::vector<uint8_t>& bytes) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  JpegHeader h{info.jpeg_color_space, info.progressive_mode != 0, {}};
  for (int c = 0; c < info.num_components; ++c)
    h.Sampling.insert(h.Sampling.end(), {info.comp_info[c].h_samp_factor, info.comp_info[c].v_samp_factor});
  jpeg_destroy_decompress(&info);
  return h;
}

struct Error {
  double Mean = 0;
  int Max = 0;
};

Error ErrorOf(const std::vector<uint8_t>& jpeg, const RgbaImage& painted) {
  const RgbaImage back = DecodeJpeg(jpeg.data(), jpeg.size());
  Error e;
  for (size_t i = 0; i < back.Pixels.size(); ++i) {
    if (i % 4 == 3) continue;
    const int d = std::abs(back.Pixels[i] - painted.Pixels[i]);
    e.Mean += d;
    e.Max = std::max(e.Max, d);
  }
  e.Mean /= static_cast<double>(back.Pixels.size() / 4 * 3);
  return e;
}

const std::vector<std::pair<std::string, JpegLayout>> kLayouts = {
    {"4:4:4", {}},
    {"4:2:0", {.HalfColour = true}},
    {"progressive", {.Progressive = true}},
    {"grey", {.Grey = true}},
};

TEST(JpegQuality, TheEstimateIsTheQualityTheFileWasSavedAt) {
  const testing::TestPicture scene = Scene(32, 32);
  for (const auto& [name, base] : kLayouts)
    for (int quality : {1, 5, 10, 25, 40, 50, 60, 75, 85, 90, 95, 98, 100}) {
      SCOPED_TRACE(name + " at " + std::to_string(quality));
      JpegLayout layout = base;
      layout.Quality = quality;
      const std::vector<uint8_t> bytes = testing::JpegBytes(scene, layout);
      EXPECT_EQ(EstimateJpegQuality(bytes.data(), bytes.size()), quality);
    }
  const std::vector<uint8_t> flat = testing::JpegBytes(scene, {.FlatTable = 7});
  EXPECT_EQ(EstimateJpegQuality(flat.data(), flat.size()), std::nullopt);
  EXPECT_THROW(EstimateJpegQuality(flat.data(), 20), ImageDecodeError);
}

TEST(JpegQuality, AnEntryKeepsItsQualitySubsamplingAndFormAndOtherTablesGetNinety) {
  const RgbaImage painted = AsImage(Scene(48, 40));
  std::vector<std::pair<std::string, JpegLayout>> cases = kLayouts;
  cases.push_back({"non-standard tables", {.FlatTable = 7}});
  cases.push_back({"CMYK", {.Quality = 80, .Cmyk = true}});
  for (const auto& [name, layout] : cases) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> entry = testing::JpegBytes(Scene(16, 16), layout);
    const EncodedPicture result = EncodeLikeEntry(ImageKind::Jpeg, entry, painted);
    const int expected = layout.FlatTable ? kDefaultJpegQuality : layout.Quality;
    EXPECT_EQ(EstimateJpegQuality(result.Bytes.data(), result.Bytes.size()), expected);
    const JpegHeader before = HeaderOf(entry), after = HeaderOf(result.Bytes);
    EXPECT_EQ(after.ColourSpace, before.ColourSpace);
    EXPECT_EQ(after.Progressive, before.Progressive);
    EXPECT_EQ(after.Sampling, before.Sampling);
    const bool warnedTables = !result.Warnings.empty() && result.Warnings.back().find("not standard") != std::string::npos;
    EXPECT_EQ(warnedTables, layout.FlatTable != 0);
  }
}

TEST(JpegQuality, APaintedPictureLosesNoMoreThanAJpegOfThatQualityDoes) {
  const testing::TestPicture scene = Scene(64, 64);
  const RgbaImage painted = AsImage(scene);
  for (bool half : {false, true})
    for (int quality : {50, 75, 90, 95}) {
      SCOPED_TRACE(std::to_string(quality) + (half ? " 4:2:0" : " 4:4:4"));
      const JpegLayout layout{.Quality = quality, .HalfColour = half};
      const std::vector<uint8_t> entry = testing::JpegBytes(Scene(16, 16), layout);
      const Error ours = ErrorOf(EncodeLikeEntry(ImageKind::Jpeg, entry, painted).Bytes, painted);
      const Error direct = ErrorOf(testing::JpegBytes(scene, layout), painted);
      std::cout << "quality " << quality << (half ? " 4:2:0" : " 4:4:4") << ": mean error " << ours.Mean
                << ", largest " << ours.Max << " (a JPEG made directly: " << direct.Mean << ", " << direct.Max
                << ")\n";
      EXPECT_LE(ours.Mean, direct.Mean * 1.05 + 0.05);
      EXPECT_LE(ours.Max, direct.Max + 2);
    }
}

}  // namespace
}  // namespace kestrel
