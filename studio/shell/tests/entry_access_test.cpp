// Reading, extracting and finding entries, and the messages when an entry is unreadable.
#include <filesystem>

#include "studio/qt_common/application_error_dialog.h"
#include "archive/file_error.h"
#include "studio/image/testing/image_writers.h"
#include "studio/open_archive/entry_access.h"
#include "studio/preview/image_view.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class EntryAccessTest : public StudioTest {
 protected:
  void SetUp() override {
    StudioTest::SetUp();
    TestEntry shorter("SHORT.BMP", Bytes("twelve bytes"), 18);
    shorter.UncompressedSize = 4000;  // claims more than the stream holds
    TestEntry unsized("UNSIZED.BMP", std::vector<uint8_t>(3000, 'u'), 18);
    unsized.UncompressedSize = 0;
    TestEntry damaged("DAMAGED.MTS", Bytes("damaged"), 17);
    std::vector<uint8_t> bad = kestrel::testing::Deflate(Bytes("damaged entry"));
    bad[0] = 0x00;  // no zlib header
    damaged.RawBytes = bad;
    TestEntry beyond("BEYOND.MTS", Bytes("beyond"), 17);
    beyond.CompressedSize = 1 << 30;
    TestEntry lower("lower.tga", Bytes("lower"), 20);
    TestEntry negative("NEGATIVE.BMP", Bytes("negative"), 18);
    negative.CompressedSize = -5;
    archive_ = ArchiveOf({
        TestEntry("CAR.MTS", kestrel::testing::NoiseBytes(5000, 1), 17),
        // Stored bytes that happen to be a zlib stream are still copied as they are.
        TestEntry("STREAM.ANM", kestrel::testing::Deflate(Bytes("inner")), 31, /*stored=*/true),
        shorter, unsized, damaged, beyond, lower,
        TestEntry("CAR.MTS", Bytes("second of the name"), 17),
        negative,  // 8
        TestEntry("GOOD.BMP", kestrel::testing::SolidBmp(0xFF102030u), 18),
    });
    Start(QString::fromStdString(WriteArchive("ENTRIES.MAS", archive_)));
  }
  TestArchive archive_;
};

TEST_F(EntryAccessTest, ReadsEntriesToTheirTrueLength) {
  EXPECT_EQ(W().ReadEntryData(0), archive_.Entries[0].Data);
  EXPECT_EQ(W().ReadEntryData(1), archive_.Entries[1].Data);
  EXPECT_EQ(W().ReadEntryData(2), Bytes("twelve bytes"));
  EXPECT_EQ(W().ReadEntryData(3), std::vector<uint8_t>(3000, 'u'));
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(EntryAccessTest, UnreadableEntriesSayWhyAndReturnNothing) {
  struct Case {
    int index;
    MessageIcon icon;
    const char* text;
  };
  const Case cases[] = {
      {4, MessageIcon::None, "data error"},
      {5, MessageIcon::Error, "Failed to read BEYOND.MTS: its data runs past the end of the archive."},
      {8, MessageIcon::Error, "Failed to read NEGATIVE.BMP: its size is negative."},
  };
  for (const Case& c : cases) {
    dialogs_.Clear();
    EXPECT_FALSE(W().ReadEntryData(c.index).has_value()) << c.index;
    ASSERT_EQ(dialogs_.messages.size(), 1u) << c.index;
    EXPECT_EQ(dialogs_.messages[0].icon, c.icon);
    EXPECT_EQ(dialogs_.messages[0].caption, "Kestrel");
    EXPECT_EQ(dialogs_.messages[0].text, c.text);
  }
  dialogs_.Clear();
  EXPECT_FALSE(W().ReadEntryData(99).has_value());
  EXPECT_FALSE(W().ReadEntryData(-1).has_value());
  std::filesystem::remove(Path("ENTRIES.MAS"));
  EXPECT_FALSE(W().ReadEntryData(0).has_value());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(EntryAccessTest, ExtractsDecodedBytesAndReplacesAnExistingFile) {
  kestrel::testing::WriteFileBytes(Path("out.bin"), std::vector<uint8_t>(9000, 'x'));
  EXPECT_TRUE(W().ExtractEntryToFile(0, QPath("out.bin")));
  EXPECT_EQ(kestrel::testing::ReadFileBytes(Path("out.bin")), archive_.Entries[0].Data);
  EXPECT_TRUE(W().ExtractEntryToFile(2, QPath("short.bin")));
  EXPECT_EQ(kestrel::testing::ReadFileBytes(Path("short.bin")), Bytes("twelve bytes"));

  // Unreadable: no file, and a message naming the entry and why.
  for (int unreadable : {5, 8}) {
    dialogs_.Clear();
    EXPECT_FALSE(W().ExtractEntryToFile(unreadable, QPath("unreadable.bin")));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(dialogs_.messages[0].text.startsWith(
        QStringLiteral("Failed to read %1: ").arg(QString::fromStdString(archive_.Entries[unreadable].Name))));
    EXPECT_FALSE(std::filesystem::exists(Path("unreadable.bin")));
  }
  dialogs_.Clear();
  EXPECT_FALSE(W().ExtractEntryToFile(4, QPath("damaged.bin")));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "data error");
}

TEST_F(EntryAccessTest, AnUnreadablePictureEmptiesTheViewAndSaysWhy) {
  W().showImages = true;
  Select(9);
  ASSERT_TRUE(W().MASImgView->HasImage());
  Select(8);
  EXPECT_FALSE(W().MASImgView->HasImage()) << "the picture before stays on show";
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Failed to read NEGATIVE.BMP: its size is negative.");
}

TEST_F(EntryAccessTest, TargetThatCannotBeWrittenReachesTheApplicationErrorDialog) {
  const QString target = QPath("no/such/folder/out.bin");
  EXPECT_THROW(W().ExtractEntryToFile(0, target), EInOutError);
  W().RunCommand(QStringLiteral("Export"), [&] { W().ExtractEntryToFile(0, target); });
  ASSERT_EQ(dialogs_.applicationErrors.size(), 1u);
  EXPECT_EQ(dialogs_.applicationErrors[0].caption, "Kestrel - [ ENTRIES.MAS ] - application error");
  EXPECT_FALSE(dialogs_.applicationErrors[0].text.isEmpty());
  EXPECT_TRUE(dialogs_.applicationErrors[0].details.contains(QStringLiteral("no/such/folder/out.bin")));
  EXPECT_TRUE(dialogs_.applicationErrors[0].details.contains(QStringLiteral("Export")));
  // The studio goes on.
  EXPECT_TRUE(W().State().IsOpen());
  EXPECT_EQ(W().ReadEntryData(1), archive_.Entries[1].Data);
}

TEST_F(EntryAccessTest, FindsTheFirstEntryOfTheNameInAnyLetterCase) {
  EXPECT_EQ(W().FindEntryByName(QStringLiteral("car.mts")), 0);
  EXPECT_EQ(W().FindEntryByName(QStringLiteral("Stream.Anm")), 1);
  EXPECT_EQ(W().FindEntryByName(QStringLiteral("LOWER.TGA")), 6);  // stored in lower case
  EXPECT_EQ(W().FindEntryByName(QStringLiteral("MISSING.BMP")), -1);
  EXPECT_EQ(W().FindEntryByName(QString()), -1);
}

}  // namespace
}  // namespace kestrel::studio::testing
