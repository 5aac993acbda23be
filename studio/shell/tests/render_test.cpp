// kestrel --render on a real display: the pixels of a square facing the eye at the initial camera.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"
#include "studio/shell/tests/facing_quad.h"
#include "studio/image/testing/image_writers.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::DrawPicture;
using kestrel::testing::SolidBmp;
using kestrel::testing::TestArchive;
using kestrel::testing::TestEntry;

class RenderTest : public ::testing::Test {
 protected:
  std::string Archive(std::vector<TestEntry> entries) {
    TestArchive archive;
    archive.Entries = std::move(entries);
    archive.WriteTo(dir_ / "QUAD.MAS");
    return dir_ / "QUAD.MAS";
  }
  kestrel::testing::ProgramRun Render(const std::vector<std::string>& args) {
    return kestrel::testing::RunProgram(KESTREL_STUDIO, args);
  }
  QImage Rendered(const std::string& archive, const std::string& entry, const std::string& size = {}) {
    std::vector<std::string> args = {"--render", archive, entry, dir_ / "out.png"};
    if (!size.empty()) args.push_back(size);
    last_ = Render(args);
    EXPECT_EQ(last_.status, 0) << last_.err;
    return QImage(QString::fromStdString(dir_ / "out.png"));
  }

  kestrel::testing::TempDir dir_;
  kestrel::testing::ProgramRun last_;
};

TEST_F(RenderTest, ATexturedSquareShowsItsTextureLitFullyAtTheCentre) {
  const std::string archive =
      Archive({TestEntry("QUAD.MTS", FacingQuad("T.BMP"), 17), TestEntry("T.BMP", SolidBmp(0xFFC86432))});
  const QImage frame = Rendered(archive, "quad.mts");
  ASSERT_EQ(frame.size(), QSize(640, 480));
  ExpectColour(QuadPixel(frame, 0, 0), 0xC8, 0x64, 0x32);
  ExpectColour(frame.pixelColor(5, 5), 51, 51, 102);  // the background
  EXPECT_EQ(last_.err.find("kestrel:"), std::string::npos) << last_.err;
  // The texture went through the scratch folder, which is gone again.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(KESTREL_STUDIO).parent_path() / "$KSTRL$"));
}

TEST_F(RenderTest, ATextureBesideTheArchiveWinsAndAMissingOneLeavesTheSquareWhite) {
  const std::string archive = Archive({TestEntry("QUAD.MTS", FacingQuad("T.BMP"), 17),
                                       TestEntry("OLD.MTS", FacingQuad("NONE.BMP", MeshLayout::Old), 17),
                                       TestEntry("T.BMP", SolidBmp(0xFF00FF00))});
  kestrel::testing::WriteFileBytes(dir_ / "T.BMP", SolidBmp(0xFFFF0000));
  ExpectColour(QuadPixel(Rendered(archive, "#0"), 0.3, 0.2), 255, 0, 0);
  const QImage white = Rendered(archive, "OLD.MTS", "200x100");
  ASSERT_EQ(white.size(), QSize(200, 100));
  ExpectColour(QuadPixel(white, 0.3, 0.2), 255, 255, 255);
  EXPECT_EQ(last_.err.find("kestrel:"), std::string::npos) << last_.err;
}

TEST_F(RenderTest, NarrowTexturesAreNotSheared) {
  // Top row red, bottom row blue: a row read from the wrong offset shows other colours.
  for (const int width : {1, 2, 3, 5}) {
    SCOPED_TRACE(width);
    const auto picture = DrawPicture(width, 2, [](int, int y) { return y == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    const std::string archive = Archive({TestEntry("QUAD.MTS", FacingQuad("N.BMP"), 17),
                                         TestEntry("N.BMP", kestrel::testing::BmpBytes(picture, {}))});
    const QImage frame = Rendered(archive, "QUAD.MTS");

    for (const double fx : {-0.8, -0.3, 0.3, 0.8}) {
      ExpectColour(QuadPixel(frame, fx, 0.5), 255, 0, 0, 8);
      ExpectColour(QuadPixel(frame, fx, -0.5), 0, 0, 255, 8);
    }
  }
}

TEST_F(RenderTest, RefusalsSayWhyAndExitWithOne) {
  std::vector<uint8_t> broken = FacingQuad("");
  broken.resize(30);
  const std::string archive = Archive({TestEntry("QUAD.MTS", FacingQuad(""), 17), TestEntry("T.BMP", SolidBmp(0xFF000000)),
                                       TestEntry("BROKEN.MTS", broken, 17)});
  const std::string out = dir_ / "out.png";
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const Case cases[] = {
      {{"--render", archive, "QUAD.MTS"}, "usage: kestrel --render"},
      {{"--render", archive, "NOPE.MTS", out}, "no entry named NOPE.MTS"},
      {{"--render", archive, "#9", out}, "no entry #9"},
      {{"--render", archive, "T.BMP", out}, "T.BMP is not a mesh entry"},
      {{"--render", archive, "BROKEN.MTS", out}, "BROKEN.MTS: MTS 4.10 decoder error : "},
      {{"--render", archive, "QUAD.MTS", out, "0x10"}, "the size must be WIDTHxHEIGHT"},
      {{"--render", dir_ / "missing.MAS", "QUAD.MTS", out}, "no such archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    const auto run = Render(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
