// kestrel-cli's image commands, run as a script runs them, and checked against an independent
// decoder (Pillow): what the PNG export holds is what Pillow reads from the source file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "archive/testing/mas_builder.h"
#include "cli_runner.h"
#include "pillow.h"
#include "studio/image/png_writer.h"
#include "studio/image/testing/image_variants.h"

namespace kestrel {
namespace {

using testing::RunCli;
using testing::TempDir;
using testing::ExtensionOf;
using testing::PythonWithPillow;

// The PNG of the picture the test drew, not of what our decoder makes of the file.
std::vector<uint8_t> PngOf(const testing::TestPicture& picture, bool hasAlpha) {
  return EncodePng({static_cast<uint32_t>(picture.Width), static_cast<uint32_t>(picture.Height), hasAlpha,
                    testing::RgbaBytes(picture, hasAlpha)});
}

struct Images {
  testing::TestPicture BmpPicture =
      testing::DrawPicture(5, 3, [](int x, int y) { return 0xFF000000u | x * 50 << 16 | y * 90; });
  testing::TestPicture TgaPicture =
      testing::DrawPicture(4, 4, [](int x, int y) { return (x + y) * 30u << 24 | 0xFF00u; });
  // Grey and flat over each 8 x 8 block, which JPEG keeps exactly: two blocks side by side.
  testing::TestPicture JpgPicture =
      testing::DrawPicture(16, 8, [](int x, int) { return x < 8 ? 0xFF404040u : 0xFFC0C0C0u; });
  std::vector<uint8_t> Bmp = testing::BmpBytes(BmpPicture, {});
  std::vector<uint8_t> Tga = testing::TgaBytes(TgaPicture, {.ImageType = 10, .Bits = 32});
  std::vector<uint8_t> Jpg = testing::JpegBytes(JpgPicture, {});
  std::vector<uint8_t> BmpPng = PngOf(BmpPicture, false);
  std::vector<uint8_t> TgaPng = PngOf(TgaPicture, true);
  std::vector<uint8_t> JpgPng = PngOf(JpgPicture, false);
};

TEST(PngCommand, OneEntryByNameOrPositionAndOneImageFile) {
  TempDir dir;
  const Images images;
  testing::TestArchive archive;
  archive.Entries = {{"WALL.BMP", images.Bmp, 18}, {"GLASS.TGA", images.Tga, 20}, {"SKY.JPG", images.Jpg, 22}};
  archive.WriteTo(dir / "TRACK.MAS");
  testing::WriteFileBytes(dir / "loose.tga", images.Tga);

  const std::vector<std::pair<std::vector<std::string>, const std::vector<uint8_t>*>> cases = {
      {{"png", "TRACK.MAS", "wall.bmp", "out.png"}, &images.BmpPng},
      {{"png", "TRACK.MAS", "#1", "out.png"}, &images.TgaPng},
      {{"png", "TRACK.MAS", "Sky.Jpg", "out.png"}, &images.JpgPng},
      {{"png", "loose.tga", "out.png"}, &images.TgaPng},
  };
  for (const auto& [args, png] : cases) {
    const auto run = RunCli(dir, args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testing::ReadFileBytes(dir / "out.png"), *png) << args[2];
  }
}

TEST(PngAllCommand, WritesEveryImageEntryAndNamesEachOneItCannot) {
  TempDir dir;
  const Images images;
  testing::TestArchive archive;
  testing::TestEntry damagedStream{"BROKEN.TGA", images.Tga, 20};
  damagedStream.RawBytes = testing::NoiseBytes(40, 7);
  damagedStream.UncompressedSize = static_cast<int32_t>(images.Tga.size());
  archive.Entries = {{"WALL.BMP", images.Bmp, 18},
                     {"CAR.MTS", testing::NoiseBytes(50, 1), 17},
                     {"SKY.JPG", images.Jpg, 22},
                     {"NOTABMP.BMP", images.Jpg, 18},
                     damagedStream,
                     {"WALL.TGA", images.Tga, 20},
                     {"GLASS.TGA", images.Tga, 20}};
  archive.WriteTo(dir / "TRACK.MAS");

  const auto run = RunCli(dir, {"png-all", "TRACK.MAS", "pictures"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "pictures/WALL.png\npictures/SKY.png\npictures/GLASS.png\n");
  for (const char* named :
       {"NOTABMP.BMP: Bitmap:", "BROKEN.TGA: ", "WALL.TGA: WALL.png was already written from WALL.BMP",
        "3 of 6 image entries could not be written"})
    EXPECT_NE(run.err.find(named), std::string::npos) << named << " in\n" << run.err;
  EXPECT_EQ(run.err.find("CAR.MTS"), std::string::npos);
  EXPECT_EQ(testing::NamesIn(dir / "pictures"), (std::set<std::string>{"GLASS.png", "SKY.png", "WALL.png"}));
  EXPECT_EQ(testing::ReadFileBytes(dir / "pictures/WALL.png"), images.BmpPng);
  EXPECT_EQ(testing::ReadFileBytes(dir / "pictures/SKY.png"), images.JpgPng);
}

// Entry names are Windows-1252; the pictures named after them get UTF-8 file names.
TEST(PngAllCommand, NamesPicturesInUtf8) {
  TempDir dir;
  const Images images;
  testing::TestArchive archive;
  archive.Entries = {{"CAF\xC9.BMP", images.Bmp, 18}};
  archive.WriteTo(dir / "TRACK.MAS");
  const auto run = RunCli(dir, {"png-all", "TRACK.MAS", "pictures"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "pictures/CAFÉ.png\n");
  EXPECT_EQ(testing::NamesIn(dir / "pictures"), (std::set<std::string>{"CAFÉ.png"}));
}

TEST(PngCommands, RefusalsSayWhyAndWriteNothing) {
  TempDir dir;
  const Images images;
  testing::TestArchive archive;
  archive.Entries = {
      {"WALL.BMP", images.Bmp, 18}, {"CAR.MTS", testing::NoiseBytes(50, 1), 17}, {"BAD.JPG", images.Bmp, 22}};
  archive.WriteTo(dir / "TRACK.MAS");
  testing::WriteFileBytes(dir / "wall.bmp", images.Bmp);
  testing::WriteFileBytes(dir / "notes.txt", images.Bmp);
  const std::vector<testing::CliRefusal> cases = {
      {{"png", "TRACK.MAS", "CAR.MTS", "out.png"}, 1, "CAR.MTS is not an image entry (type 17, MTS)"},
      {{"png", "TRACK.MAS", "BAD.JPG", "out.png"}, 1, "BAD.JPG: JPEG: "},
      {{"png", "TRACK.MAS", "NONE.BMP", "out.png"}, 1, "no entry named NONE.BMP"},
      {{"png", "MISSING.MAS", "WALL.BMP", "out.png"}, 1, "File not found"},
      {{"png", "notes.txt", "out.png"}, 1, "notes.txt is not a .bmp, .tga or .jpg file"},
      {{"png", "wall.bmp", "wall.bmp"}, 1, "wall.bmp is the file being read"},
      {{"png", "TRACK.MAS", "WALL.BMP", "TRACK.MAS"}, 1, "TRACK.MAS is the file being read"},
      {{"png", "wall.bmp"}, 2, "usage: kestrel-cli png "},
      {{"png-all", "TRACK.MAS"}, 2, "usage: kestrel-cli png-all "},
  };
  for (const testing::CliRefusal& c : cases) testing::ExpectRefusal(dir, c);
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"TRACK.MAS", "notes.txt", "wall.bmp"}));
  EXPECT_EQ(testing::ReadFileBytes(dir / "wall.bmp"), images.Bmp);
}

// Where Pillow (9.4, Debian 12) reads a variant otherwise, and why.
const std::map<std::string, std::string> kColourOnly = {
    {"TGA 16-bit with alpha bit", "Pillow ignores the alpha bit that the descriptor announces"},
};
const std::map<std::string, std::string> kNotCompared = {
    {"BMP RLE4", "Pillow drops the last pixel of an odd-length literal stretch (\"RLE4 runs only\" is compared)"},
    {"JPEG CMYK with black, plain inks without Adobe marker",
     "Pillow takes every CMYK JPEG for Adobe's inverted inks, marker or not"},
};
// Variants Pillow refuses to read. Any other variant it cannot read fails the test, so that a
// writer regression cannot hide among them.
const std::map<std::string, std::string> kUnreadableByPillow = {
    {"BMP 16-bit 1-5-5-5 with alpha, 56-byte header", "no 16-bit bit fields with alpha"},
    {"BMP 32-bit alpha bit fields, 40-byte header", "no compression 6"},
    {"BMP 32-bit bit fields, 52-byte header", "no 52-byte header"},
    {"TGA 15-bit", "no 15-bit true colour"},
    {"TGA colour-mapped, 32-bit map with alpha", "no 32-bit map entries"},
    {"TGA colour-mapped, 16-bit indices, map from entry 300", "no 16-bit map indices"},
    {"TGA colour-mapped run-length, 16-bit indices", "no 16-bit map indices"},
};

// How far Pillow's reading may differ from ours: not at all (JPEG included, both decode it with
// libjpeg), except that Pillow scales 5- and 6-bit channels down where we round to the nearest.
int PillowTolerance(const testing::ImageVariant& v) { return v.Kind != ImageKind::Jpeg && v.Tolerance > 0 ? 1 : 0; }

TEST(PngCommand, EveryVariantMatchesWhatPillowReads) {
  const std::string python = PythonWithPillow();
  if (python.empty()) GTEST_SKIP() << "no Python with Pillow (python3-pil)";
  TempDir dir;
  std::vector<std::string> compareArgs = {python, PIL_COMPARE};
  int n = 0;
  for (const testing::ImageVariant& v : testing::ImageVariants()) {
    const std::string source = "variant" + std::to_string(n++) + ExtensionOf(v.Kind);
    testing::WriteFileBytes(dir / source, v.Bytes);
    const auto run = RunCli(dir, {"png", source, source + ".png"});
    ASSERT_EQ(run.status, 0) << v.Name << ": " << run.err;
    const std::string channels = kColourOnly.count(v.Name) ? "3" : "4";
    compareArgs.insert(compareArgs.end(),
                       {dir / source, dir / (source + ".png"), std::to_string(PillowTolerance(v)), channels});
  }
  const testing::ProgramRun compared = testing::RunProgram("/usr/bin/env", compareArgs);
  ASSERT_EQ(compared.status, 0) << compared.err;
  std::istringstream lines(compared.out);
  std::string line;
  int same = 0;
  n = 0;
  for (const testing::ImageVariant& v : testing::ImageVariants()) {
    ASSERT_TRUE(std::getline(lines, line));
    if (kNotCompared.count(v.Name))
      std::cout << v.Name << ": not compared; " << kNotCompared.at(v.Name) << '\n';
    else if (line.rfind("same ", 0) == 0)
      ++same;
    else if (line.rfind("unreadable ", 0) == 0 && kUnreadableByPillow.count(v.Name))
      std::cout << v.Name << ": not compared; Pillow reads " << kUnreadableByPillow.at(v.Name) << '\n';
    else
      ADD_FAILURE() << v.Name << ": " << line;
    ++n;
  }
  EXPECT_GE(same, n * 3 / 4) << "too few variants compared";
}

}  // namespace
}  // namespace kestrel
