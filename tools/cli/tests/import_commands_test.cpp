// kestrel-cli import-image and import-all: pictures into image entries in each entry's own
// format, checked through the commands themselves and against an independent decoder (Pillow).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "archive/mas_format.h"
#include "archive/testing/mas_builder.h"
#include "cli_runner.h"
#include "pillow.h"
#include "studio/image/png_writer.h"
#include "studio/image/testing/image_variants.h"

namespace kestrel {
namespace {

using testing::ImageVariant;
using testing::RunCli;
using testing::TempDir;

RgbaImage Decoded(const ImageVariant& v) { return DecodeImage(v.Kind, v.Bytes.data(), v.Bytes.size()); }

int MasType(ImageKind kind) { return kind == ImageKind::Bmp ? 18 : kind == ImageKind::Targa ? 20 : 22; }

// The archive file's identity: a rewrite puts a new file in its place.
std::pair<ino_t, std::vector<uint8_t>> Identity(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return {st.st_ino, testing::ReadFileBytes(path)};
}

std::string EntryName(const std::vector<ImageVariant>& variants, size_t n) {
  return "TEX" + std::to_string(n) + UpperCaseAscii(testing::ExtensionOf(variants[n].Kind));
}

// Each variant as entry "TEXn" of one archive.
testing::TestArchive VariantArchive(const std::vector<ImageVariant>& variants) {
  testing::TestArchive archive;
  for (size_t n = 0; n < variants.size(); ++n)
    archive.Entries.push_back({EntryName(variants, n), variants[n].Bytes, MasType(variants[n].Kind)});
  archive.Entries.push_back({"CAR.MTS", testing::NoiseBytes(60, 3), 17});
  return archive;
}

// Where Pillow reads a variant otherwise (see image_commands_test.cpp).
const std::map<std::string, std::string> kColourOnly = {
    {"TGA 16-bit with alpha bit", "Pillow ignores the alpha bit that the descriptor announces"},
};

TEST(ImportImage, EveryVariantComesBackUnchangedAndTakesAPaintedPictureThatPillowReads) {
  const std::string python = testing::PythonWithPillow();
  TempDir dir;
  const std::vector<ImageVariant> variants = testing::ImageVariants();
  VariantArchive(variants).WriteTo(dir / "TRACK.MAS");
  std::vector<std::string> compareArgs = {python, PIL_COMPARE};
  for (size_t n = 0; n < variants.size(); ++n) {
    const ImageVariant& v = variants[n];
    SCOPED_TRACE(v.Name);
    const std::string entry = EntryName(variants, n);
    const std::string png = "tex" + std::to_string(n) + ".png";

    // png then import-image: the archive is not even rewritten.
    ASSERT_EQ(RunCli(dir, {"png", "TRACK.MAS", entry, png}).status, 0);
    const auto before = Identity(dir / "TRACK.MAS");
    const auto same = RunCli(dir, {"import-image", "TRACK.MAS", entry, png});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, entry + " already holds this picture; the archive was not rewritten\n");
    EXPECT_EQ(same.err, "");
    EXPECT_EQ(Identity(dir / "TRACK.MAS"), before);

    // A painted picture goes in; what the entry then holds is read back by Pillow.
    const std::string painted = "painted" + std::to_string(n) + ".png";
    testing::WriteFileBytes(dir / painted, EncodePng(testing::Mirrored(Decoded(v))));
    const auto run = RunCli(dir, {"import-image", "TRACK.MAS", entry, painted});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const std::string extracted = "written" + std::to_string(n) + testing::ExtensionOf(v.Kind);
    ASSERT_EQ(RunCli(dir, {"extract", "TRACK.MAS", entry, extracted}).status, 0);
    // JPEG is lossy: Pillow's reading is compared with ours instead of with the painted picture.
    std::string expected = painted;
    if (v.Kind == ImageKind::Jpeg) {
      expected = extracted + ".png";
      ASSERT_EQ(RunCli(dir, {"png", extracted, expected}).status, 0);
    }
    // Pillow scales 5- and 6-bit channels down where we round to the nearest.
    const std::string tolerance = v.Kind != ImageKind::Jpeg && v.Tolerance > 0 ? "1" : "0";
    compareArgs.insert(compareArgs.end(),
                       {dir / extracted, dir / expected, tolerance, kColourOnly.count(v.Name) ? "3" : "4"});
  }
  if (python.empty()) GTEST_SKIP() << "no Python with Pillow (python3-pil)";
  const testing::ProgramRun compared = testing::RunProgram("/usr/bin/env", compareArgs);
  ASSERT_EQ(compared.status, 0) << compared.err;
  std::istringstream lines(compared.out);
  std::string line;
  size_t readable = 0;
  for (const ImageVariant& v : variants) {
    ASSERT_TRUE(std::getline(lines, line));
    if (line.rfind("unreadable ", 0) == 0) {
      std::cout << "Pillow cannot read the " << v.Name << " variant; not compared\n";
      continue;
    }
    ++readable;
    EXPECT_EQ(line.rfind("same ", 0), 0u) << v.Name << ": " << line;
  }
  EXPECT_GE(readable, variants.size() * 3 / 4) << "too few variants compared";
}

struct Folder {
  TempDir dir;
  std::vector<ImageVariant> variants = testing::ImageVariants();
  std::string archive = dir / "TRACK.MAS";

  // Every variant as an entry, and png-all's folder of them.
  Folder() {
    VariantArchive(variants).WriteTo(archive);
    const auto run = RunCli(dir, {"png-all", "TRACK.MAS", "pictures"});
    EXPECT_EQ(run.status, 0) << run.err;
  }
  void Paint(size_t n, const std::string& name) {
    testing::WriteFileBytes(dir / ("pictures/" + name), EncodePng(testing::Mirrored(Decoded(variants[n]))));
  }
  std::vector<uint8_t> Entry(size_t n) const {
    const std::string out = dir / "entry.bin";
    EXPECT_EQ(RunCli(dir, {"extract", "TRACK.MAS", "#" + std::to_string(n), out}).status, 0);
    return testing::ReadFileBytes(out);
  }
};

TEST(ImportAll, AnUntouchedFolderWritesNothingAndPaintedPicturesRewriteJustTheirEntries) {
  Folder f;
  const auto before = Identity(f.archive);
  const auto untouched = RunCli(f.dir, {"import-all", "TRACK.MAS", "pictures"});
  EXPECT_EQ(untouched.status, 0) << untouched.err;
  EXPECT_EQ(untouched.out, "0 entries updated\n");
  EXPECT_EQ(untouched.err, "");
  EXPECT_EQ(Identity(f.archive), before);

  // Two painted, a file in another picture format, a picture without an entry, and a note.
  f.Paint(1, "TEX1.png");
  f.Paint(30, "tex30.PNG");
  std::remove((f.dir / "pictures/TEX30.png").c_str());
  testing::WriteFileBytes(f.dir / "pictures/OTHER.png", EncodePng(Decoded(f.variants[0])));
  testing::WriteFileBytes(f.dir / "pictures/notes.txt", {'h', 'i'});
  const auto run = RunCli(f.dir, {"import-all", "TRACK.MAS", "pictures"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "pictures/OTHER.png: no image entry of that name\n"
            "TEX1.BMP from pictures/TEX1.png\n" +
                EntryName(f.variants, 30) + " from pictures/tex30.PNG\n"
            "2 entries updated\n");
  for (size_t n = 0; n < f.variants.size(); ++n) {
    SCOPED_TRACE(f.variants[n].Name);
    const std::vector<uint8_t> entry = f.Entry(n);
    if (n == 1 || n == 30)
      EXPECT_EQ(DecodeImage(f.variants[n].Kind, entry.data(), entry.size()).Pixels,
                testing::Mirrored(Decoded(f.variants[n])).Pixels);
    else
      EXPECT_EQ(entry, f.variants[n].Bytes);
  }
}

TEST(ImportAll, AnyPictureThatCannotGoInLeavesTheArchiveAsItWasAndIsNamed) {
  Folder f;
  f.Paint(1, "TEX1.png");  // would go in
  const std::vector<uint8_t> png = EncodePng(Decoded(f.variants[2]));
  testing::WriteFileBytes(f.dir / "pictures/TEX2.png", std::vector<uint8_t>(png.begin(), png.begin() + 30));
  std::remove((f.dir / "pictures/TEX3.png").c_str());
  testing::WriteFileBytes(f.dir / "pictures/tex3.bmp", png);  // a PNG named .bmp
  f.Paint(4, "TEX4.tga");  // a second picture for TEX4 (beside TEX4.png)
  const auto before = Identity(f.archive);
  const auto run = RunCli(f.dir, {"import-all", "TRACK.MAS", "pictures"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  const std::string counted = "3 of " + std::to_string(f.variants.size() + 1) +
                              " pictures could not be imported; the archive was not changed";
  for (const std::string& named : {std::string("pictures/TEX2.png: PNG: "), std::string("pictures/tex3.bmp: Bitmap: "),
                                   std::string("pictures/TEX4.tga: both it and pictures/TEX4.png name TEX4.BMP"), counted})
    EXPECT_NE(run.err.find(named), std::string::npos) << named << " in\n" << run.err;
  EXPECT_EQ(Identity(f.archive), before);
}

TEST(ImportImage, RefusalsSayWhyAndLeaveTheArchiveAlone) {
  TempDir dir;
  const std::vector<ImageVariant> variants = testing::ImageVariants();
  testing::TestArchive archive = VariantArchive(variants);
  archive.Entries.push_back({"BAD.TGA", testing::NoiseBytes(9, 4), 20});
  archive.WriteTo(dir / "TRACK.MAS");
  const std::vector<uint8_t> png = EncodePng(Decoded(variants[0]));
  testing::WriteFileBytes(dir / "cut.png", std::vector<uint8_t>(png.begin(), png.end() - 20));
  testing::WriteFileBytes(dir / "good.png", png);
  testing::WriteFileBytes(dir / "picture.gif", png);
  const auto before = Identity(dir / "TRACK.MAS");
  const std::vector<testing::CliRefusal> cases = {
      {{"import-image", "TRACK.MAS", "TEX0.BMP", "cut.png"}, 1, "cut.png: PNG: "},
      {{"import-image", "TRACK.MAS", "CAR.MTS", "good.png"}, 1, "CAR.MTS is not an image entry (type 17, MTS)"},
      {{"import-image", "TRACK.MAS", "BAD.TGA", "good.png"}, 1, "BAD.TGA: the entry's present picture cannot be read (Targa: "},
      {{"import-image", "TRACK.MAS", "TEX0.BMP", "picture.gif"}, 1, "picture.gif is not a .png, .bmp, .tga or .jpg picture"},
      {{"import-image", "TRACK.MAS", "TEX0.BMP", "missing.png"}, 1, "missing.png: I/O error 2: File not found"},
      {{"import-image", "TRACK.MAS", "NONE.BMP", "good.png"}, 1, "no entry named NONE.BMP"},
      {{"import-image", "TRACK.MAS", "TEX0.BMP"}, 2, "usage: kestrel-cli import-image "},
      {{"import-all", "TRACK.MAS", "nowhere"}, 1, "nowhere is not a folder"},
      {{"import-all", "TRACK.MAS"}, 2, "usage: kestrel-cli import-all "},
  };
  for (const testing::CliRefusal& c : cases) testing::ExpectRefusal(dir, c);
  EXPECT_EQ(Identity(dir / "TRACK.MAS"), before);
}

TEST(ImportImage, WarningsNameTheEntryAndTheChangeStillGoesIn) {
  TempDir dir;
  const std::vector<ImageVariant> variants = testing::ImageVariants();
  VariantArchive(variants).WriteTo(dir / "TRACK.MAS");
  RgbaImage translucent{40, 6, true, {}};
  for (uint32_t i = 0; i < 240; ++i)
    translucent.Pixels.insert(translucent.Pixels.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                                                         static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i)});
  testing::WriteFileBytes(dir / "translucent.png", EncodePng(translucent));
  // Entry 3 is the 8-bit bitmap of 16 colours, entry 14 the 24-bit one.
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"TEX14.BMP", {"warning: TEX14.BMP: the picture is 40 x 6 pixels (the entry 13 x 6)",
                     "warning: TEX14.BMP: the picture's transparency is dropped"}},
      {"TEX3.BMP", {"warning: TEX3.BMP: the picture's colours are not all in the entry's palette of 16"}},
  };
  ASSERT_EQ(variants[3].Name, "BMP 8-bit");
  ASSERT_EQ(variants[14].Name, "BMP 24-bit");
  for (const auto& [entry, warnings] : cases) {
    const auto run = RunCli(dir, {"import-image", "TRACK.MAS", entry, "translucent.png"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& w : warnings) EXPECT_NE(run.err.find(w), std::string::npos) << w << " in\n" << run.err;
  }
}

}  // namespace
}  // namespace kestrel
