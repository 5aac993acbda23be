// The table-of-contents listing written beside an archive when "DumpTOC" is on.
#include <filesystem>

#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class ListingTest : public StudioTest {
 protected:
  void SetUp() override {
    StudioTest::SetUp();
    WriteIni("DumpTOC=1\n");
  }
  std::string Listed() {
    TestEntry car("CAR.MTS", std::vector<uint8_t>(100, 'm'), 17, /*stored=*/true);
    car.Unknown = 7;
    TestEntry texture("A_VERY_LONG_TEXTURE_NAME_X.BMP", std::vector<uint8_t>(50, 'b'), 18, /*stored=*/true);
    texture.Unknown = -1;
    return WriteArchive("LIST.MAS", ArchiveOf({car, texture}));
  }
  std::string LogText() {
    const auto bytes = kestrel::testing::ReadFileBytes(Path("LIST.log"));
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(ListingTest, ListsEveryEntryWithAbsoluteStartsInCrLfLines) {
  Start(QString::fromStdString(Listed()));
  EXPECT_EQ(LogText(),
            "Dumping LIST.MAS with 2 files.\r\n"
            "\r\n"
            "      Name                         Startpos      Uncompr        Compr          Unk     Filetype\r\n"
            "\r\n"
            "   1: CAR.MTS                           536          100          100            7           17\r\n"
            "   2: A_VERY_LONG_TEXTURE_NAME_X.BMP          636           50           50           -1           18\r\n");
  // The tree counts from the data start; the listing from the beginning of the file.
  EXPECT_EQ(W().State().DataStart, 536);
  EXPECT_EQ(W().State().Table[0].Offset, 0);
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ListingTest, IsWrittenAgainOnEveryOpenButNeverForAReadOnlyArchive) {
  const std::string path = Listed();
  TFKestrel& w = Start(QString::fromStdString(path));
  ASSERT_TRUE(std::filesystem::remove(Path("LIST.log")));
  w.OpenArchive(QString::fromStdString(path));
  EXPECT_TRUE(std::filesystem::exists(Path("LIST.log")));
  End();

  ASSERT_TRUE(std::filesystem::remove(Path("LIST.log")));
  read_only_ = true;
  Start(QString::fromStdString(path));
  EXPECT_TRUE(W().State().IsOpen());
  EXPECT_FALSE(std::filesystem::exists(Path("LIST.log")));
}

TEST_F(ListingTest, ListingThatCannotBeCreatedIsReportedAndTheArchiveStillOpens) {
  std::filesystem::create_directory(Path("LIST.log"));
  TFKestrel& w = Start(QString::fromStdString(Listed()));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(dialogs_.messages[0].text, "Unable to create TOC dumpfile (Error #21)");  // EISDIR
  EXPECT_TRUE(w.State().IsOpen());
  EXPECT_EQ(w.TreeModel()->rowCount(), 1);
}

TEST_F(ListingTest, ArchiveWithoutExtensionGetsOneAppended) {
  TFKestrel& w = Start();
  const std::string path = WriteArchive("PLAIN", ArchiveOf({TestEntry("X.BMP", Bytes("x"))}));
  w.OpenArchive(QString::fromStdString(path));
  EXPECT_TRUE(std::filesystem::exists(Path("PLAIN.log")));
}

}  // namespace
}  // namespace kestrel::studio::testing
