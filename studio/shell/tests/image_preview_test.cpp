// The image view, zoom and the two image commands, on a real window with scripted dialogs.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QTreeView>
#include <cstdio>

#include "archive/testing/mas_builder.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/image/testing/image_writers.h"
#include "studio/shell/tests/image_preview_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::BmpBytes;
using kestrel::testing::DrawPicture;

TEST_F(ImagePreviewTest, ZoomStepsStopAtOneAndFiveAndCarryOverToTheNextImage) {
  Open(Images());
  EXPECT_EQ(ZoomStates(), "---");
  Select(0);
  EXPECT_EQ(ZoomStates(), "i--");
  EXPECT_EQ(Shown(), Drawn(wall_picture_)) << "a wrong image-size field is ignored";

  const std::vector<std::pair<QAction*, std::pair<int, std::string>>> steps = {
      {R().TBZoomIn, {2, "ior"}},  {R().TBZoomIn, {3, "ior"}},  {R().TBZoomIn, {4, "ior"}},
      {R().TBZoomIn, {5, "-or"}},  {R().TBZoomOut, {4, "ior"}}, {R().TBZoomReset, {1, "i--"}},
      {R().TBZoomOut, {1, "i--"}}, {R().TBZoomIn, {2, "ior"}},
  };
  for (const auto& [action, expected] : steps) {
    action->trigger();
    EXPECT_EQ(R().State().ZoomFactor, expected.first) << action->objectName().toStdString();
    EXPECT_EQ(ZoomStates(), expected.second);
    EXPECT_EQ(R().MASImgView->widget()->size(), QSize(3, 2) * expected.first);
  }
  R().TBZoomIn->trigger();  // 3
  R().TBZoomIn->trigger();  // 4
  R().TBZoomIn->trigger();  // 5: "Zoom in" disabled
  Select(2);
  EXPECT_EQ(R().State().ZoomFactor, 5);
  EXPECT_EQ(ZoomStates(), "ior") << "showing an image enables only \"Zoom in\"; the others stay";
  EXPECT_EQ(R().MASImgView->widget()->size(), QSize(16, 8) * 5);

  Select(3);  // a mesh starts over
  EXPECT_EQ(R().State().ZoomFactor, 1);
  EXPECT_EQ(ZoomStates(), "---");
  EXPECT_FALSE(R().MASImgView->HasImage());
  EXPECT_FALSE(R().Exportimagetofile1->isEnabled());
  Select(1);
  EXPECT_EQ(ZoomStates(), "i--");
  EXPECT_EQ(R().MASImgView->widget()->size(), QSize(4, 4));
  EXPECT_EQ(Shown(), Drawn(glass_picture_)) << "alpha is not drawn";
}

TEST_F(ImagePreviewTest, PixelsAreScaledWithoutSmoothingAndSmallPicturesCentred) {
  Open(Images());
  R().resize(800, 600);
  Select(0);
  R().TBZoomIn->trigger();
  R().TBZoomIn->trigger();
  QWidget* canvas = R().MASImgView->widget();
  const QImage drawn = canvas->grab().toImage();
  ASSERT_EQ(drawn.size(), QSize(9, 6));
  const QImage wall = Drawn(wall_picture_);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(drawn.pixel(x, y), wall.pixel(x / 3, y / 3)) << x << ", " << y;
  const QRect area = R().MASImgView->viewport()->rect();
  EXPECT_NEAR(canvas->geometry().center().x(), area.center().x(), 1);
  EXPECT_NEAR(canvas->geometry().center().y(), area.center().y(), 1);
}

TEST_F(ImagePreviewTest, APictureThatCannotBeShownLeavesTheViewAndCommandsAsTheyWere) {
  Open(Images());
  Select(1);
  ASSERT_TRUE(R().Importimagefromfile1->isEnabled());
  const QImage before = Shown();

  Select(4);  // not a bitmap at all
  ASSERT_EQ(dialogs_.applicationErrors.size(), 1u);
  EXPECT_TRUE(dialogs_.applicationErrors[0].text.startsWith("Bitmap: "))
      << dialogs_.applicationErrors[0].text.toStdString();
  EXPECT_EQ(Shown(), before);
  EXPECT_TRUE(R().Exportimagetofile1->isEnabled());
  EXPECT_TRUE(R().Importimagefromfile1->isEnabled());

  Select(5);  // a damaged stream: zlib's text in a plain box
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::None);
  EXPECT_EQ(Shown(), before);
  EXPECT_EQ(dialogs_.applicationErrors.size(), 1u);
}

TEST_F(ImagePreviewTest, ExportWritesTheEntryByteForByteWithTheDialogOfItsType) {
  Open(Images());
  R().Settings().BMPInitialDir = QPath("start");
  const std::vector<std::tuple<int, const char*, const char*, const char*>> types = {
      {0, "Bitmap Files (*.BMP)|*.BMP|PNG Files (*.png)|*.png", "Save a Bitmap File", "bmp"},
      {1, "Targa Files (*.TGA)|*.TGA|PNG Files (*.png)|*.png", "Save a Targa File", "tga"},
      {2, "JPEG Files (*.JPG)|*.JPG|PNG Files (*.png)|*.png", "Save a JPEG File", "jpg"},
  };
  for (const auto& [entry, filter, title, suffix] : types) {
    Select(entry);
    dialogs_.fileAnswers = {QString()};  // cancelled: nothing written, the folder stays
    R().Exportimagetofile1->trigger();
    ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
    const FileDialogRequest& request = dialogs_.fileRequests[0];
    EXPECT_EQ(request.objectName, "SDImage");
    EXPECT_EQ(request.filter, filter);
    EXPECT_EQ(request.title, title);
    EXPECT_EQ(request.defaultSuffix, suffix);
    EXPECT_EQ(request.startDirectory, QPath("start"));
    EXPECT_EQ(request.proposedName, R().State().Table[static_cast<size_t>(entry)].Name().c_str());
    dialogs_.Clear();
  }

  ASSERT_TRUE(QDir().mkpath(QPath("out")));
  kestrel::testing::WriteFileBytes(Path("out/sky.jpg"), Bytes("an older file"));
  dialogs_.fileAnswers = {QPath("out/sky.jpg")};
  R().Exportimagetofile1->trigger();
  EXPECT_EQ(kestrel::testing::ReadFileBytes(Path("out/sky.jpg")), sky_);
  EXPECT_EQ(R().Settings().BMPInitialDir, QPath("out"));

  // Over the open archive: refused, the archive stays.
  const std::vector<uint8_t> archiveBytes = kestrel::testing::ReadFileBytes(archive_);
  dialogs_.fileAnswers = {QString::fromStdString(archive_)};
  R().Exportimagetofile1->trigger();
  EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), archiveBytes);
  ASSERT_FALSE(dialogs_.messages.empty());
  EXPECT_EQ(dialogs_.messages.back().icon, MessageIcon::Error);
}

TEST_F(ImagePreviewTest, ImportStoresAnotherSizeAndDepthUnchangedAndShowsIt) {
  Open(Images());
  Select(0);
  R().TBZoomIn->trigger();
  const kestrel::testing::TestPicture stripes =
      DrawPicture(5, 4, [](int x, int) { return x % 2 ? 0xFFFF0000u : 0xFF0000FFu; });
  const std::vector<uint8_t> paletted = BmpBytes(stripes, {.Bits = 8});
  kestrel::testing::WriteFileBytes(Path("NEWWALL.BMP"), paletted);
  dialogs_.fileAnswers = {QPath("NEWWALL.BMP")};
  R().Importimagefromfile1->trigger();

  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].objectName, "ODImage");
  EXPECT_EQ(dialogs_.fileRequests[0].title, "Save a Bitmap File");
  EXPECT_EQ(dialogs_.fileRequests[0].filter,
            "Bitmap Files (*.BMP)|*.BMP|Pictures (*.png *.bmp *.tga *.jpg *.jpeg)|*.png;*.bmp;*.tga;*.jpg;*.jpeg");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.applicationErrors.empty());
  EXPECT_EQ(R().State().Table[0].Name(), "WALL.BMP");
  EXPECT_EQ(R().State().Table[0].FileType, 18);
  EXPECT_EQ(R().ReadEntryData(0), paletted);
  EXPECT_EQ(R().ReadEntryData(2), sky_);
  EXPECT_EQ(Shown(), Drawn(stripes));
  EXPECT_EQ(R().MASTreeNT->currentIndex(), R().TreeModel()->EntryNode(0));
  EXPECT_TRUE(R().Importimagefromfile1->isEnabled());
  EXPECT_EQ(R().State().ZoomFactor, 1) << "the reopen starts the zoom over";
  EXPECT_EQ(R().Settings().BMPInitialDir, QString::fromStdString(dir_.Path()));

  // A file named like the entry's own type is never inspected: a JPEG named .bmp in a bitmap entry
  // is stored, then cannot be shown.
  dialogs_.fileAnswers = {QPath("sky.bmp")};
  kestrel::testing::WriteFileBytes(Path("sky.bmp"), sky_);
  R().Importimagefromfile1->trigger();
  EXPECT_EQ(R().ReadEntryData(0), sky_);
  EXPECT_EQ(dialogs_.applicationErrors.size(), 1u);
}

TEST_F(ImagePreviewTest, ImportFailuresLeaveTheArchiveAsItWas) {
  Open(Images());
  Select(0);
  const std::vector<uint8_t> before = kestrel::testing::ReadFileBytes(archive_);

  dialogs_.fileAnswers = {QPath("missing.bmp")};
  R().Importimagefromfile1->trigger();
  EXPECT_EQ(dialogs_.applicationErrors.size(), 1u) << "an unreadable file reaches the error dialog";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor ends on every path";
  EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), before);

  // The archive changed on disk since it was opened: the rewrite refuses, with the error icon.
  std::vector<uint8_t> grown = before;
  grown.push_back(0);
  kestrel::testing::WriteFileBytes(archive_, grown);
  kestrel::testing::WriteFileBytes(Path("NEW.BMP"), wall_);
  dialogs_.fileAnswers = {QPath("NEW.BMP")};
  R().Importimagefromfile1->trigger();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), grown);
}

// Lowers the address-space limit to what the process uses now plus `headroom`, for as long as the
// object lives, so that one large allocation fails as it would on a machine short of memory.
class AddressSpaceLimit {
 public:
  explicit AddressSpaceLimit(rlim_t headroom) {
    getrlimit(RLIMIT_AS, &saved_);
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    setrlimit(RLIMIT_AS, &lowered);
  }
  ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
  AddressSpaceLimit(const AddressSpaceLimit&) = delete;
  AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

 private:
  rlimit saved_{};
};

TEST_F(ImagePreviewTest, NoMemoryForThePictureOrTheFileGivesTheStudiosMessages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_MEMORY__)
  GTEST_SKIP() << "the sanitizer's allocator does not report a failed allocation as std::bad_alloc";
#endif
  // A run-length bitmap that claims 16384 x 16384 pixels (1 GiB decoded) in a few bytes.
  std::vector<uint8_t> huge = BmpBytes(DrawPicture(1, 1, Colour), {.Bits = 8, .Compression = 1});
  for (size_t at : {18u, 22u}) {
    huge[at] = 0x00;
    huge[at + 1] = 0x40;
  }
  TestArchive archive = Images();
  archive.Entries.emplace_back("HUGE.BMP", huge, 18);
  Open(archive);
  Select(0);
  const QImage before = Shown();
  {
    AddressSpaceLimit limit(256u << 20);
    Select(6);
  }
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(
      dialogs_.messages[0].text.toStdString(),
      "Failed to allocate the needed memory for this operation. \r\nAttempt at showing the preview has been cancelled");
  EXPECT_EQ(Shown(), before);
  EXPECT_TRUE(dialogs_.applicationErrors.empty());

  // A file of 2 GiB, sparse on disk, to import.
  Select(0);
  dialogs_.Clear();
  const std::vector<uint8_t> archiveBefore = kestrel::testing::ReadFileBytes(archive_);
  {
    QFile big(QPath("BIG.BMP"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(qint64{2} << 30));
  }
  dialogs_.fileAnswers = {QPath("BIG.BMP")};
  {
    AddressSpaceLimit limit(256u << 20);
    R().Importimagefromfile1->trigger();
  }
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(
      dialogs_.messages[0].text.toStdString(),
      "Failed to allocate the needed memory for this operation. \r\nAttempt at loading the image has been cancelled");
  EXPECT_EQ(kestrel::testing::ReadFileBytes(archive_), archiveBefore);
  QFile::remove(QPath("BIG.BMP"));
}

TEST_F(ImagePreviewTest, OnAReadOnlyMediumOnlyExportIsEnabled) {
  read_only_ = true;
  Open(Images());
  dialogs_.Clear();
  Select(2);
  EXPECT_TRUE(R().MASImgView->HasImage());
  EXPECT_TRUE(R().Exportimagetofile1->isEnabled());
  EXPECT_FALSE(R().Importimagefromfile1->isEnabled());
}

}  // namespace
}  // namespace kestrel::studio::testing
