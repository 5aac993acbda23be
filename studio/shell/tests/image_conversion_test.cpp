// "Import image from file" with pictures of other formats, converted into the entry's own, and
// "Export image to file" as PNG, on a real window with scripted dialogs.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <deque>

#include "studio/image/picture_import.h"
#include "studio/image/png_writer.h"
#include "studio/shell/tests/image_preview_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::DrawPicture;
using kestrel::testing::TestPicture;

RgbaImage AsRgba(const TestPicture& picture, bool withAlpha) {
  RgbaImage image;
  image.Width = static_cast<uint32_t>(picture.Width);
  image.Height = static_cast<uint32_t>(picture.Height);
  image.HasAlpha = withAlpha;
  image.Pixels = kestrel::testing::RgbaBytes(picture, withAlpha);
  return image;
}

// The largest difference of one colour channel between two pictures of the same size.
int LargestDifference(const QImage& a, const QImage& b) {
  int largest = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
    }
  return largest;
}

class ImageConversionTest : public ImagePreviewTest {
 protected:
  // Imports the file `name` holding `bytes` into entry `entry`, answering `yesNo` to any question.
  void Import(int entry, const std::string& name, const std::vector<uint8_t>& bytes, std::deque<bool> yesNo = {}) {
    Select(entry);
    dialogs_.Clear();
    kestrel::testing::WriteFileBytes(Path(name), bytes);
    dialogs_.fileAnswers = {QPath(name)};
    dialogs_.yesNoAnswers = std::move(yesNo);
    R().Importimagefromfile1->trigger();
  }
  std::vector<uint8_t> Png(const TestPicture& picture, bool withAlpha = false) {
    return EncodePng(AsRgba(picture, withAlpha));
  }
};

// What a user paints over the entries: smooth, so that a JPEG keeps it closely.
uint32_t Painted(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(200 - x * 10) << 16 | static_cast<uint32_t>(x * y * 2) << 8 | 0x90;
}

TEST_F(ImageConversionTest, OtherPicturesAreWrittenInTheEntrysOwnFormatAndShown) {
  Open(Images());
  const TestPicture wall = DrawPicture(3, 2, Painted);
  const TestPicture glass = DrawPicture(4, 4, Painted);
  const TestPicture sky = DrawPicture(16, 8, Painted);
  struct Case {
    int entry;
    std::string file;
    std::vector<uint8_t> bytes;
    const TestPicture* painted;
    int tolerance;       // JPEG entries: the error of their quality
    const char* notice;  // a part of the information shown after the import; "" for none
    std::vector<uint8_t> magic;
  };
  const std::vector<Case> cases = {
      {0, "painted.png", Png(wall), &wall, 0, "", {'B', 'M'}},
      {0, "glass.tga", kestrel::testing::TgaBytes(DrawPicture(3, 2, [](int x, int y) {
                                                     return (Painted(x, y) & 0x00FFFFFFu) | 0x80000000u;
                                                   }),
                                                   {.Bits = 32}),
       &wall, 0, "transparency is dropped", {'B', 'M'}},
      {1, "painted.bmp", kestrel::testing::BmpBytes(glass, {}), &glass, 0, "", {0, 0, 2}},
      {2, "painted.PNG", Png(sky), &sky, 24, "", {0xFF, 0xD8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Import(c.entry, c.file, c.bytes);
    EXPECT_TRUE(dialogs_.questions.empty()) << "a picture of the entry's size imports without a question";
    EXPECT_TRUE(dialogs_.applicationErrors.empty());
    if (*c.notice) {
      ASSERT_EQ(dialogs_.messages.size(), 1u);
      EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
      EXPECT_TRUE(dialogs_.messages[0].text.contains(QString::fromLatin1(c.notice)))
          << dialogs_.messages[0].text.toStdString();
    } else {
      EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages[0].text.toStdString();
    }
    const std::vector<uint8_t> stored = *R().ReadEntryData(c.entry);
    ASSERT_GE(stored.size(), c.magic.size());
    EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), stored.begin())) << "the entry keeps its own format";
    EXPECT_EQ(R().MASTreeNT->currentIndex(), R().TreeModel()->EntryNode(c.entry));
    ASSERT_EQ(Shown().size(), QSize(c.painted->Width, c.painted->Height));
    EXPECT_LE(LargestDifference(Shown(), Drawn(*c.painted)), c.tolerance);
  }
  const std::vector<uint8_t> bitmap = *R().ReadEntryData(0);
  EXPECT_EQ(bitmap[28] | bitmap[29] << 8, 24) << "the bitmap keeps its depth";
}

TEST_F(ImageConversionTest, APictureOfAnotherSizeGoesInOnlyWhenTheUserAgrees) {
  Open(Images());
  const std::vector<uint8_t> before = kestrel::testing::ReadFileBytes(archive_);
  const TestPicture bigger = DrawPicture(6, 4, Painted);

  Import(0, "bigger.png", Png(bigger), {false});
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(dialogs_.questions[0].text.toStdString(),
            "bigger.png is 6 x 4 pixels, but WALL.BMP is 3 x 2 pixels.\r\nImport it at its own size?");
  EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), before);
  EXPECT_EQ(Shown(), Drawn(wall_picture_));

  Import(0, "bigger.png", Png(bigger), {true});
  EXPECT_EQ(Shown(), Drawn(bigger));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursors for the question and the notice are undone";
  ASSERT_EQ(dialogs_.messages.size(), 1u) << "6 x 4 is not a power of two";
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
  EXPECT_TRUE(dialogs_.messages[0].text.startsWith("bigger.png was imported into WALL.BMP:\r\nThe picture is 6 x 4"))
      << dialogs_.messages[0].text.toStdString();
}

TEST_F(ImageConversionTest, RefusedPicturesAndTheSamePixelsLeaveTheArchiveAsItWas) {
  Open(Images());
  const std::vector<uint8_t> before = kestrel::testing::ReadFileBytes(archive_);
  struct Case {
    std::string file;
    std::vector<uint8_t> bytes;
    MessageIcon icon;
    const char* text;  // the start of the one message
  };
  const std::vector<Case> cases = {
      {"damaged.png", Bytes("\x89PNG but no more"), MessageIcon::Error, "damaged.png cannot be imported: PNG"},
      {"wall.dat", Png(wall_picture_), MessageIcon::Error, "wall.dat cannot be imported: not a .png"},
      {"same.png", Png(wall_picture_), MessageIcon::Information,
       "WALL.BMP already holds the pixels of same.png; the archive was not rewritten."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Import(0, c.file, c.bytes);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, c.icon);
    EXPECT_TRUE(dialogs_.messages[0].text.startsWith(QString::fromLatin1(c.text)))
        << dialogs_.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs_.applicationErrors.empty());
    EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), before);
  }
}

TEST_F(ImageConversionTest, ExportToAPngFileWritesThePictureWithItsAlpha) {
  Open(Images());
  ASSERT_TRUE(QDir().mkpath(QPath("out")));
  Select(1);
  dialogs_.Clear();
  dialogs_.fileAnswers = {QPath("out/glass.png")};
  R().Exportimagetofile1->trigger();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.applicationErrors.empty());
  const std::vector<uint8_t> png = kestrel::testing::ReadFileBytes(Path("out/glass.png"));
  const RgbaImage written = DecodePng(png.data(), png.size());
  EXPECT_TRUE(written.HasAlpha);
  EXPECT_EQ(written.Pixels, kestrel::testing::RgbaBytes(glass_picture_, true));

  // A picture the decoders refuse is named; nothing is written.
  Select(4);
  dialogs_.Clear();
  dialogs_.fileAnswers = {QPath("out/broken.png")};
  R().Exportimagetofile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.startsWith("BROKEN.BMP cannot be exported as PNG: Bitmap"))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_FALSE(QFile::exists(QPath("out/broken.png")));
}

}  // namespace
}  // namespace kestrel::studio::testing
